// The context menu, the options dialog and the about box as the X server
// shows them, and the mini window through ten skin switches made with the
// menu: every switch leaves the window as the first switch to that skin did.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <filesystem>

#include "platform/win/MessageBox.h"
#include "shell/UOptions.h"
#include "tests/shell-app/MenuRig.h"
#include "tests/shell/ScreenCompare.h"
#include "tests/shell/SkinTestUtil.h"

namespace fs = std::filesystem;

namespace {

class MenuScreens : public ::testing::Test {
  protected:
    void SetUp() override {
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        const TUserFolders folders = PortableFolders(dir.path.string());
        const fs::path skins = dir.path / "QuilletSkins";
        ASSERT_TRUE(ExtractDefaultSkin(skins.string()));
        fs::copy_file(SkinFixture("paper.skn"), skins / "paper.skn");
        rig =
            std::make_unique<TMenuRig>(folders, (dir.path / "playlist.xml").string(),
                                       [](TPlayListModel& model, TFMain&) -> std::unique_ptr<IMiniPlaylist> {
                                           return std::make_unique<TModelPlaylist>(model);
                                       });
        form = rig->form.get();
        menu = rig->menu.get();
        form->move(40, 40);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }
    void TearDown() override {
        rig.reset();
        quillet::win::setMessageBoxPresenter(nullptr);
    }
    // The strip with a fixed picture in its panel.
    QImage stripShot() {
        TBandOut bands;
        for (int i = 0; i < 25; ++i) bands[i] = uint16_t(i < 12 ? i + 2 : 26 - i);
        form->DrawSpectrum(bands);
        return SettledScreenGrab(QRect(form->pos(), form->size()));
    }

    TempDir dir;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    std::unique_ptr<TMenuRig> rig;
    TFMain* form = nullptr;
    TMainMenu* menu = nullptr;
};

TEST_F(MenuScreens, OpenContextMenu) {
    menu->MenuPosition = [] { return TPoint{300, 100}; };
    menu->FormContextPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu->PopupMenu1));
    EXPECT_EQ(menu->PopupMenu1.pos(), QPoint(300, 100));
    const QImage image = SettledScreenGrab(menu->PopupMenu1.geometry());
    // The flat look: a white panel with a grey column, a grey frame.
    EXPECT_EQ(Rgb(image, image.width() - 5, 3), 0xffffffu);
    EXPECT_EQ(Rgb(image, 5, 3), 0xeeeff2u);
    CompareWithReference(image, "context-menu");
    menu->PopupMenu1.hide();
}

TEST_F(MenuScreens, CheckMarksAndRadioItems) {
    form->miStop->trigger();  // one item without its check mark
    for (QMenu* sub : {&menu->miBtnvisibleMenu, &menu->mnSkins}) {
        sub->popup(QPoint(300, 100));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
        CompareWithReference(SettledScreenGrab(sub->geometry()),
                             sub == &menu->mnSkins ? "skin-menu" : "button-menu");
        sub->hide();
    }
}

TEST_F(MenuScreens, OptionsDialog) {
    TFOptions dialog(*form);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    CompareWithReference(SettledScreenGrab(dialog.geometry()), "options-dialog");
}

TEST_F(MenuScreens, AboutBox) {
    QImage image;
    QTimer::singleShot(0, [&] {
        TFAbout* about = menu->About();
        ASSERT_NE(about, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
        image = SettledScreenGrab(about->geometry());
        about->Button1->click();
    });
    menu->miAboutClick();
    ASSERT_FALSE(image.isNull());
    CompareWithReference(image, "about-box");
}

TEST_F(MenuScreens, TenSkinSwitchesLeaveTheWindowAsTheFirst) {
    ASSERT_EQ(menu->mnSkins.actions().size(), 2);
    QImage first[2];
    for (int i = 0; i < 10; ++i) {
        const int which = (i + 1) % 2;  // paper first, then back to the built-in skin
        rig->skinItem(which == 1 ? "paper.skn" : "default.skn")->trigger();
        const QImage shot = stripShot();
        if (first[which].isNull()) {
            first[which] = shot;
            continue;
        }
        ASSERT_EQ(shot.size(), first[which].size()) << "switch " << i;
        EXPECT_EQ(PixelsOff(shot, first[which], 0), 0) << "switch " << i;
    }
    EXPECT_NE(first[0].size(), first[1].size());
    EXPECT_TRUE(boxes->boxes().empty());
}

}  // namespace
