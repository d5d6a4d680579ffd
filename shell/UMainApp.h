// The program's spine: the start-up that makes the mini window, the player,
// the playlist and the controller in their fixed order, the exit with the
// playlist window's fade, and the shutdown. Qt; user-interface thread only.
#pragma once

#include <QFont>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "engine/VAVIVerovu.h"
#include "platform/win/WinTypes.h"
#include "playlist/PlayListEngine.h"
#include "playlist/PlayListModel.h"
#include "playlist/window/AddProgress.h"
#include "shell/QtDialogs.h"
#include "shell/UMain.h"
#include "shell/UMainController.h"
#include "shell/UMainMenu.h"
#include "shell/UserPaths.h"

namespace quillet::desktop {
class Desktop;
}
class TTaskbarDock;

class TMainApp : public QObject {
  public:
    struct TOptions {
        std::string exeFolder;  // with a trailing separator
        TUserFolders folders;
        int device = TVAVIVerovu::kDefaultDevice;
        // The hook library's calls; left empty, nothing is docked.
        std::function<void(HWND, int mode, int width, int height)> hookStart;
        std::function<void(int width)> hookChangeSize;
        std::function<void()> hookEnd;
        // The desktop to dock into; nullptr: the strip floats.
        quillet::desktop::Desktop* desktop = nullptr;
    };
    explicit TMainApp(TOptions options);
    ~TMainApp() override;

    // The start-up, in order; false when it stopped because the audio library
    // is not loaded (the window stays, without playback, docking or shape).
    bool FormCreate();
    void FormShow();
    // The exit command: fades the playlist window out, then closes both.
    void Close1Click();
    // The shutdown: releases the taskbar first, then the player. Runs once,
    // however often the form is closed.
    void FormClose();
    // The hook library's WM_USER: the strip places itself.
    void setPlayerpos();

    TFMain& Form() { return *m_form; }
    TVAVIVerovu* Player() { return m_player.get(); }
    TMainController* Controller() { return m_controller.get(); }
    TMainMenu* Menu() { return m_menu.get(); }
    TPlayListModel* Model() { return m_model.get(); }
    TQtPlayListDialogs& Dialogs() { return m_dialogs; }
    TAddProgress* Progress() { return m_progress.get(); }
    IMiniPlaylist* Playlist() { return m_playlist.get(); }
    TTaskbarDock* Dock() { return m_dock.get(); }
    bool Closed() const { return m_closed; }
    // The opacities the exit's fade went through (for the record).
    const std::vector<int>& FadeSteps() const { return m_fadeSteps; }
    // Called after each step of the shutdown, by name ("HookEnd", "player").
    std::function<void(const char* step)> OnShutdownStep;

    // The audio tracks of the discs in the CD drives, as "D:/Track01.cda".
    std::vector<std::string> CdTrackNames() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    TOptions m_options;
    std::unique_ptr<TFMain> m_form;
    std::unique_ptr<TVAVIVerovu> m_player;
    std::unique_ptr<TPlayListEngine> m_engineSeam;
    TQtPlayListDialogs m_dialogs;
    std::unique_ptr<TAddProgress> m_progress;
    std::unique_ptr<TPlayListModel> m_model;
    std::unique_ptr<IMiniPlaylist> m_playlist;
    std::unique_ptr<TMainController> m_controller;
    std::unique_ptr<TMainMenu> m_menu;
    std::unique_ptr<TTaskbarDock> m_dock;
    int m_fontId = -1;
    bool m_hooked = false;
    bool m_closed = false;
    std::vector<int> m_fadeSteps;
};
