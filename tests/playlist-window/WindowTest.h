// A playlist window over a model with scripted dialogs and player, dressed in
// the built-in skin, for the window's tests and benchmarks.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

#include "platform/zip/ZipReader.h"
#include "playlist/window/UPlayList.h"
#include "shell/UPlayListWindow.h"
#include "shell/USkin.h"
#include "tests/playlist/PlayListDoubles.h"

// The built-in skin's playlist section and colours as the window takes them.
inline TPlWindowSkin BuiltinWindowSkin(TPlColors* colors = nullptr) {
    qzip::ZipReader zip;
    const QByteArray& bytes = BuiltinSkinArchive();
    EXPECT_TRUE(zip.openMemory(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
    TPlaylistSkin skin;
    EXPECT_TRUE(ReadPlaylistSkin(zip, skin));
    if (colors) {
        TPlaylistColors read;
        EXPECT_TRUE(ReadPlaylistColors(zip, read));
        *colors = ToWindowColors(read);
    }
    return ToWindowSkin(skin);
}

inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class WindowTest : public PlayListTest {
  protected:
    WindowTest() : window(model) {
        window.MiniRect = [this] { return mini; };
        TPlColors colors;
        const TPlWindowSkin skin = BuiltinWindowSkin(&colors);
        window.ApplyPlaylistSkin(skin, &colors);
    }
    // Puts n files "/m/NNNNN.mp3" into the list at `row` (1 and up).
    void fill(std::size_t n, const std::string& name = "list") {
        std::vector<std::string> files;
        for (std::size_t i = 0; i < n; ++i) {
            char path[32];
            std::snprintf(path, sizeof path, "/m/%05zu.mp3", i);
            files.emplace_back(path);
            engine.add(path, "title " + std::to_string(i));
        }
        setLists({{name, files}});
        model.ListsSelectCell(1);
    }

    QRect mini{1000, 700, 300, 32};
    TFPlayList window;
};
