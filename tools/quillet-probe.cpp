// quillet-probe FILE...
// Prints the engine's stream information of each file as one JSON object per line
// (keys: path, ok, then the TStreamInfo fields in their order). The engine runs on
// the no-sound device; its message boxes go to stderr.
#include <cstdio>
#include <memory>
#include <string>

#include "engine/VAVIVerovu.h"
#include "platform/win/MessageBox.h"
#include "platform/win/MessageLayer.h"
#include "tools/ToolText.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillet-probe FILE...\n");
        return 2;
    }
    quillet::win::setMessageBoxPresenter(std::make_shared<quillet::win::StderrMessageBoxPresenter>());
    quillet::win::EnsureThreadQueue();
    TVAVIVerovu engine(nullptr, TVAVIVerovu::kNoSoundDevice);
    if (!engine.BASSReady()) std::fprintf(stderr, "quillet-probe: the audio library is not ready\n");
    for (int i = 1; i < argc; ++i) {
        TStreamInfo info;
        const bool ok = engine.GetStreamInfo(argv[i], info);
        const std::string line = quillet::tools::streamInfoJson(argv[i], ok, info) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    return std::ferror(stdout) ? 1 : 0;
}
