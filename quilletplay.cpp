// quilletplay: the music player with its mini window. Needs a display; the
// headless player is tools/quillet-play.
#include <dlfcn.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/desktop/Desktop.h"
#include "platform/hook/Hook.h"
#include "platform/win/qt/QtMessagePump.h"
#include "shell/QtDialogs.h"
#include "shell/SignalClose.h"
#include "shell/UMainApp.h"

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::fputs("quilletplay: no display to show the window on (the headless player is quillet-play)\n",
                   stderr);
        return 2;
    }
    // Loading the audio library and all it links is the longest step before
    // the window shows; it runs on a thread of its own while Qt connects to
    // the display, and the player then finds it loaded.
    void* audioLibrary = nullptr;
    std::thread preload([&audioLibrary] {
        audioLibrary = dlopen((ExecutableFolder() + kBassLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    });
    TFMain::PrepareApplication();
    QApplication app(argc, argv);
    quillet::win::QtMessagePump pump;
    quillet::win::setMessageBoxPresenter(std::make_shared<TQtMessageBoxPresenter>());

    const std::string exeFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
    const std::unique_ptr<quillet::desktop::Desktop> desktop = quillet::desktop::Desktop::create();
    TMainApp::TOptions options;
    options.exeFolder = exeFolder;
    options.folders = ResolveUserFolders(exeFolder);
    EnsureFolder(options.folders.configWrite);
    options.desktop = desktop.get();
    if (desktop) {
        options.hookStart = [](HWND hwnd, int mode, int width, int height) {
            HookStart(hwnd, mode, width, height);
        };
        options.hookChangeSize = [](int width) { HookChangeSize(width, 0); };
        options.hookEnd = [] { HookEnd(); };
    }
    preload.join();
    int status = 0;
    {
        TMainApp main(std::move(options));
        if (desktop) desktop->setStrip(&main.Form());
        // SIGTERM and SIGINT close the window as the exit command does. One
        // that comes during the start-up (a message box is open) closes the
        // box and ends the program once the start-up is through.
        bool starting = true;
        bool closeRequested = false;
        TSignalClose closeOnSignal([&] {
            if (!starting) {
                main.Close1Click();
                return;
            }
            // The rest of the start-up's messages go to stderr unasked.
            closeRequested = true;
            quillet::win::setMessageBoxPresenter(nullptr);
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        main.FormCreate();
        starting = false;
        if (!closeRequested) {
            main.FormShow();
            status = app.exec();
        }
        main.FormClose();
        if (desktop) desktop->setStrip(nullptr);
    }
    quillet::win::setMessageBoxPresenter(nullptr);
    if (audioLibrary != nullptr) dlclose(audioLibrary);
    return status;
}
