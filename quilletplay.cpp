// quilletplay: the music player with its mini window. Needs a display; the
// headless player is tools/quillet-play.
#include <dlfcn.h>

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/desktop/Desktop.h"
#include "platform/hook/Hook.h"
#include "platform/win/MessageLayer.h"
#include "platform/win/qt/QtMessagePump.h"
#include "shell/CommandLine.h"
#include "shell/DesktopSession.h"
#include "shell/Mpris.h"
#include "shell/QtDialogs.h"
#include "shell/SignalClose.h"
#include "shell/SingleInstance.h"
#include "shell/UMainApp.h"

namespace {

// The command line's own answers: the exit status when the program ends
// here (--help, --version, an unknown option), or -1 to go on.
int answerCommandLine(const TCommandLine& line) {
    if (!line.badOption.empty()) {
        std::fprintf(stderr, "quilletplay: unknown option %s\n%s", line.badOption.c_str(),
                     UsageText().c_str());
        return 2;
    }
    if (line.help || line.version) {
        std::fputs((line.help ? UsageText() : VersionText()).c_str(), stdout);
        return 0;
    }
    for (const std::string& skipped : line.skipped) std::fprintf(stderr, "%s\n", skipped.c_str());
    return -1;
}

// One running program per session: a later start hands its names over
// (none: the running program shows its playlist window) and ends. The exit
// status when this start ends here, or -1 when it is the running program.
int claimSession(TSingleInstance& instance, const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names) list << QString::fromStdString(name);
    switch (instance.Claim(list)) {
        case TSingleInstance::TRole::Primary:
            return -1;
        case TSingleInstance::TRole::HandedOver:
            return 0;
        case TSingleInstance::TRole::Failed:
            break;
    }
    std::fprintf(stderr, "quilletplay: another player runs but does not answer: %s\n",
                 instance.Error().toStdString().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const TCommandLine line =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), QDir::currentPath().toStdString());
    if (const int status = answerCommandLine(line); status >= 0) return status;
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::fputs("quilletplay: no display to show the window on (the headless player is quillet-play)\n",
                   stderr);
        return 2;
    }
    // Loading the audio library and all it links is the longest step before
    // the window shows; it runs on a thread of its own while Qt connects to
    // the display, and the player then finds it loaded (joined before the
    // player is made, or on any early return).
    void* audioLibrary = nullptr;
    std::jthread preload([&audioLibrary] {
        audioLibrary = dlopen((ExecutableFolder() + kBassLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    });
    TFMain::PrepareApplication();
    QApplication app(argc, argv);
    quillet::win::QtMessagePump pump;

    TSingleInstance instance;
    if (const int status = claimSession(instance, line.names); status >= 0) return status;
    quillet::win::setMessageBoxPresenter(std::make_shared<TQtMessageBoxPresenter>());

    const std::string exeFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
    const std::unique_ptr<quillet::desktop::Desktop> desktop = quillet::desktop::Desktop::create();
    TMainApp::TOptions options;
    options.exeFolder = exeFolder;
    options.folders = ResolveUserFolders(exeFolder);
    EnsureFolder(options.folders.configWrite);
    EnsureFolder(options.folders.dataWrite);
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
        // Commands of the desktop (hand-overs, bus clients) run one at a
        // time, outside the engine's waits.
        TCommandQueue commands([] { return quillet::win::MessageWaitDepth() == 0; });
        TMpris mpris(main, commands);
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
            if (instance.OnBus() && !mpris.Register(instance.Bus()))
                std::fputs("quilletplay: the media-player interface is not on the bus\n", stderr);
            instance.SetReceiver([&main, &commands](const QStringList& handed) {
                std::vector<std::string> v;
                for (const QString& name : handed) v.push_back(name.toStdString());
                commands.Enqueue([&main, v] { HandOver(main, v); });
            });
            if (!line.names.empty()) commands.Enqueue([&main, &line] { OpenNames(main, line.names); });
            main.FormShow();
            status = app.exec();
        }
        // Hand-overs that come from now on find nobody to open them.
        instance.SetReceiver({});
        mpris.Unregister();
        main.FormClose();
        if (desktop) desktop->setStrip(nullptr);
    }
    quillet::win::setMessageBoxPresenter(nullptr);
    if (audioLibrary != nullptr) dlclose(audioLibrary);
    return status;
}
