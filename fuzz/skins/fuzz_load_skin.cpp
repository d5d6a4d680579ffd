// A skin archive from memory: the mini window's section applied by LoadSkin,
// then the layout, the shape and the spectrum in every mode; the playlist
// window's section and colours read from the same archive.
#include <QApplication>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shell/UMain.h"
#include "shell/USkin.h"

namespace {

// The application and the form live until the process ends: Qt does not
// support destroying its application object during exit.
TFMain& Form() {
    static TFMain* form = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_load_skin";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
        TUserFolders folders;
        folders.configWrite = folders.dataWrite = "/nonexistent/quillet-fuzz";
        return new TFMain(folders);
    }();
    return *form;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFMain& form = Form();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (form.LoadSkinFromMemory(bytes)) {
        form.ShapeWindow();
        form.PrepareSpectrum();
        form.ApplyButtonSettings();
        TBandOut bands;
        for (int i = 0; i < 25; ++i) bands[i] = uint16_t(i * 2731);
        form.TotalTimeText = "01:02:03";
        for (int mode = 0; mode < 4; ++mode) {
            form.SetVisMode(mode);
            form.DrawSpectrum(bands);
        }
        form.DrawProgress(1, 3);
        form.DrawVolume(128);
    }
    TPlaylistSkin skin;
    ReadPlaylistSkin(form.SkinZip, skin);
    TPlaylistColors colors;
    ReadPlaylistColors(form.SkinZip, colors);
    return 0;
}
