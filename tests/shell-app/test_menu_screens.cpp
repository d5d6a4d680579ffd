// The context menu, the options dialog and the about box as the X server
// shows them, and the mini window through ten skin switches made with the
// menu: every switch leaves the window as the first switch to that skin did.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <filesystem>

#include "platform/win/MessageBox.h"
#include "shell/UOptions.h"
#include "shell/UPlayListWindow.h"
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
        rig = std::make_unique<TMenuRig>(
            folders, (dir.path / "playlist.xml").string(),
            [this](TPlayListModel& model, TFMain& form) -> std::unique_ptr<IMiniPlaylist> {
                auto window =
                    std::make_unique<TWindowPlaylist>(model, form, [&form] { return form.geometry(); });
                playlist = window.get();
                return window;
            });
        form = rig->form.get();
        menu = rig->menu.get();
        form->move(40, 500);
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
    TWindowPlaylist* playlist = nullptr;
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

TEST_F(MenuScreens, TenSkinSwitchesLeaveBothWindowsAsTheFirst) {
    ASSERT_EQ(menu->mnSkins.actions().size(), 2);
    playlist->ShowWindow();
    QWidget* list = playlist->Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
    QImage firstStrip[2], firstList[2];
    for (int i = 0; i < 10; ++i) {
        const int which = (i + 1) % 2;  // paper first, then back to the built-in skin
        rig->skinItem(which == 1 ? "paper.skn" : "default.skn")->trigger();
        const QImage strip = stripShot();
        const QImage shownList = SettledScreenGrab(list->geometry());
        if (firstStrip[which].isNull()) {
            firstStrip[which] = strip;
            firstList[which] = shownList;
            continue;
        }
        ASSERT_EQ(strip.size(), firstStrip[which].size()) << "switch " << i;
        EXPECT_EQ(PixelsOff(strip, firstStrip[which], 0), 0) << "switch " << i;
        ASSERT_EQ(shownList.size(), firstList[which].size()) << "switch " << i;
        EXPECT_EQ(PixelsOff(shownList, firstList[which], 0), 0) << "switch " << i;
    }
    // Each skin looks its own in both windows.
    EXPECT_NE(firstStrip[0].size(), firstStrip[1].size());
    EXPECT_NE(firstList[0], firstList[1]);
    EXPECT_TRUE(boxes->boxes().empty());
}

}  // namespace
