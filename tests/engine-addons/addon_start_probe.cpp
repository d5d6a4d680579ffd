// Starts the engine on device 0 from the folder it was copied to and prints
// what the start did about the add-ons beside it, one line each:
//   box TEXT        a message box shown while the engine was made
//   ready WMA CD MIDI MIXER   the readiness flags (0 or 1)
//   drive TEXT      each listed CD drive
//   message TEXT    each add-on message the start shows afterwards
#include <cstdio>
#include <memory>

#include "engine/AddOnMessages.h"
#include "engine/VAVIVerovu.h"
#include "platform/win/MessageBox.h"

int main() {
    auto boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
    quillet::win::setMessageBoxPresenter(boxes);
    {
        TVAVIVerovu engine(nullptr, TVAVIVerovu::kNoSoundDevice);
        for (const auto& box : boxes->boxes()) std::printf("box %s\n", box.text.c_str());
        if (!engine.BASSReady()) return 1;
        std::printf("ready %d %d %d %d\n", engine.WMAReady(), engine.CDReady(), engine.MIDIReady(),
                    engine.MixerReady());
        for (const auto& drive : engine.CDDrives()) std::printf("drive %s\n", drive.c_str());
        for (const auto& text : AddOnLoadMessages(engine.WMAReady(), engine.CDReady(), engine.MIDIReady()))
            std::printf("message %s\n", text.c_str());
    }
    return 0;
}
