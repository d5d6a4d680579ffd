// The mini window's context menu PopupMenu1: every command its buttons do not
// offer, the button settings, the skin menu, the options dialog and the about
// box. Qt; user-interface thread only.
#pragma once

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/Docking.h"
#include "shell/UAbout.h"
#include "shell/UPopupMenu.h"

class TFMain;
class TMainController;
class IMiniPlaylist;

// A skin archive the skin menu offers.
struct TSkinFile {
    std::string name;  // the file name, which names the skin's settings
    std::string path;
    bool operator==(const TSkinFile&) const = default;
};

// The "*.skn" files of the skins folders, earlier folders first: a name found
// in several folders is listed once, with the first folder's file. Sorted by
// name (bytes).
std::vector<TSkinFile> ListSkinFiles(const std::vector<std::string>& skinsFolders);

class TMainMenu : public QObject {
    // First: the menus below use it until they are gone.
    TFlatMenuStyle m_style;

  public:
    // Builds the menu and its skin menu and opens it on a right click on
    // `form`. The three must outlive the menu.
    TMainMenu(TFMain& form, TMainController& controller, IMiniPlaylist& playlist);
    ~TMainMenu() override;

    // The skin menu from the skins folders: one radio item per file, the
    // current skin's checked; hidden with fewer than two files.
    void BuildSkinMenu();
    // Switches to the item's skin: LoadSkin, ShapeWindow, PrepareSpectrum,
    // ApplyButtonSettings, then the playlist window's skin.
    void SkinMenuClick(QAction* item);
    // Opens the menu where FormContextPopup puts it.
    void FormContextPopup();
    // The about box: brought to the front when open, else shown modally.
    void miAboutClick();
    TFAbout* About() const { return m_about; }

    // Where the menu opens on the screen; unset: StripMenuPosition.
    std::function<TPoint()> MenuPosition;
    // The strip's top-right corner on the screen, or the taskbar's top when
    // the strip lies below the screen (no taskbar known: the screen's bottom).
    TPoint StripMenuPosition() const;
    // The exit command.
    std::function<void()> OnClose;

    QMenu PopupMenu1;
    QAction* miAbout;
    QAction* N1;
    QAction* PlayPause1;
    QAction* Pause1;
    QAction* Stop2;
    QAction* PreviousTrack1;
    QAction* NextTrack1;
    QAction* open1;
    QAction* N2;
    QMenu miBtnvisibleMenu;  // the submenu of TFMain::miBtnvisible
    QAction* OpenPlayList1;
    QMenu mnSkins;
    QAction* Options1;
    QAction* N5;
    QAction* Properties1;
    QAction* N3;
    QAction* Close1;
    QAction* vis1;  // never shown; the panel's double click runs its command

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // An item of the menu that runs `run`, with the image list's picture `image` (-1: none).
    QAction* command(const char* caption, int image, const std::function<void()>& run);
    void checkCurrentSkin();

    TFMain& m_form;
    TMainController& m_controller;
    IMiniPlaylist& m_playlist;
    std::unique_ptr<QActionGroup> m_skinGroup;
    QPointer<TFAbout> m_about;
};
