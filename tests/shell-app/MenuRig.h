// The mini window with its player (no-sound device), controller and context
// menu, without the rest of the program, for the menu's tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "playlist/PlayListEngine.h"
#include "playlist/PlayListModel.h"
#include "playlist/PlayListSeams.h"
#include "shell/UMain.h"
#include "shell/UMainController.h"
#include "shell/UMainMenu.h"
#include "shell/USkin.h"

class NoPlayListDialogs : public IPlayListDialogs {
  public:
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessage(const std::string&, const std::string&, TMsgIcon) override {}
    bool OpenFiles(const std::string&, std::vector<std::string>&) override { return false; }
    int PickList(const std::vector<std::string>&) override { return -1; }
};

struct TMenuRig {
    // The form with the built-in skin from `folders`' skins, laid out; the
    // playlist over `playlistFile`. makePlaylist gives the menu's playlist.
    template <typename MakePlaylist>
    TMenuRig(const TUserFolders& folders, const std::string& playlistFile, MakePlaylist makePlaylist) {
        form = std::make_unique<TFMain>(folders);
        form->LoadSkin(form->SkinPath("default.skn"));
        form->ShapeWindow();
        form->PrepareSpectrum();
        form->ApplyButtonSettings();
        player = std::make_unique<TVAVIVerovu>(nullptr, TVAVIVerovu::kNoSoundDevice);
        seam = std::make_unique<TPlayListEngine>(*player);
        model = std::make_unique<TPlayListModel>(playlistFile, dialogs, *seam);
        playlist = makePlaylist(*model, *form);
        controller = std::make_unique<TMainController>(*form, *player, *playlist);
        controller->Attach();
        makeMenu();
    }
    ~TMenuRig() {
        menu.reset();
        controller.reset();
    }
    void makeMenu() {
        menu.reset();
        menu = std::make_unique<TMainMenu>(*form, *controller, *playlist);
    }
    QAction* skinItem(const QString& caption) const {
        for (QAction* a : menu->mnSkins.actions())
            if (a->text() == caption) return a;
        return nullptr;
    }

    NoPlayListDialogs dialogs;
    std::unique_ptr<TFMain> form;
    std::unique_ptr<TVAVIVerovu> player;
    std::unique_ptr<TPlayListEngine> seam;
    std::unique_ptr<TPlayListModel> model;
    std::unique_ptr<IMiniPlaylist> playlist;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TMainMenu> menu;
};
