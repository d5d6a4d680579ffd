// The options dialog and the button menu: what they show, what they write to
// the settings file and how the strip follows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "platform/win/MessageBox.h"
#include "shell/Settings.h"
#include "shell/UMain.h"
#include "shell/UOptions.h"
#include "shell/USkin.h"
#include "tests/shell/SkinTestUtil.h"

namespace {

using Strings = std::vector<std::string>;

class Options : public ::testing::Test {
  protected:
    void SetUp() override {
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        makeForm(PortableFolders(dir.path.string()));
    }
    void TearDown() override { quillet::win::setMessageBoxPresenter(nullptr); }

    void makeForm(const TUserFolders& folders) {
        form = std::make_unique<TFMain>(folders);
        ASSERT_TRUE(ExtractDefaultSkin(form->SkinsWriteFolder()));
        ASSERT_TRUE(form->LoadSkin(form->SkinPath("default.skn"))) << form->SkinError();
        form->ApplyButtonSettings();
    }
    std::optional<TSkinSettings> stored() { return TSettingsFile(dir.path.string()).readSkin("default.skn"); }
    void store(const std::vector<std::pair<std::string, std::string>>& attributes) {
        ASSERT_TRUE(TSettingsFile(dir.path.string()).writeSkin("default.skn", attributes));
    }
    void select(TFOptions& dialog, int row) { dialog.CheckList->setCurrentRow(row); }
    bool shown(QWidget* w) const { return w->isVisibleTo(form.get()); }

    TempDir dir;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    std::unique_ptr<TFMain> form;
};

const Strings kDefaultLabels{"图形", "播放", "前一首", "后一首", "停止", "静音", "打开", "列表"};

TEST_F(Options, WithoutSettingsTheDialogShowsTheStripAndOkKeepsIt) {
    TFOptions dialog(*form);
    EXPECT_EQ(dialog.windowRole(), "options");
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("设置"));
    EXPECT_EQ(dialog.Labels(), kDefaultLabels);
    EXPECT_EQ(dialog.Checks(), std::vector<bool>(8, true));
    EXPECT_TRUE(dialog.cbProgress->isChecked());
    EXPECT_TRUE(dialog.cbVolumn->isChecked());
    dialog.btnOkClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const auto s = stored();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->buttonOrder, "Visual,Play,Prev,Next,Stop,Mute,Open,List");
    EXPECT_EQ(s->buttonCheck, "y,y,y,y,y,y,y,y");
    EXPECT_EQ(s->progressShow, "true");
    EXPECT_EQ(s->volumnShow, "true");
    form->ApplyButtonSettings();
    EXPECT_EQ(form->MiniWidth, 175);
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(Options, MovingAtTheEndsChangesNothingAndWithoutSelectionAsks) {
    TFOptions dialog(*form);
    dialog.btnUpClick();  // nothing selected
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].text, "请选中一个按钮项");
    EXPECT_EQ(boxes->boxes()[0].caption, "Quillet");
    EXPECT_EQ(boxes->boxes()[0].type & MB_ICONMASK, UINT(MB_ICONINFORMATION));

    select(dialog, 0);
    dialog.btnUpClick();
    select(dialog, 7);
    dialog.btnDownClick();
    EXPECT_EQ(dialog.Labels(), kDefaultLabels);
    EXPECT_EQ(boxes->boxes().size(), 1u);

    // A move carries the check mark along and keeps the selection.
    dialog.CheckList->item(2)->setCheckState(Qt::Unchecked);
    select(dialog, 2);
    dialog.btnUpClick();
    dialog.btnUpClick();
    EXPECT_EQ(dialog.Labels(), (Strings{"前一首", "图形", "播放", "后一首", "停止", "静音", "打开", "列表"}));
    EXPECT_EQ(dialog.Checks(), (std::vector<bool>{false, true, true, true, true, true, true, true}));
    EXPECT_EQ(dialog.CheckList->selectedItems().value(0), dialog.CheckList->item(0));
}

TEST_F(Options, PanelMovedLastStandsAtTheRightEnd) {
    TFOptions dialog(*form);
    select(dialog, 0);
    for (int i = 0; i < 7; ++i) dialog.btnDownClick();
    EXPECT_EQ(dialog.Labels().back(), "图形");
    dialog.cbVolumn->setChecked(false);
    dialog.btnOkClick();
    EXPECT_EQ(stored()->buttonOrder, "Play,Prev,Next,Stop,Mute,Open,List,Visual");
    EXPECT_EQ(stored()->volumnShow, "false");
    form->ApplyButtonSettings();
    EXPECT_EQ(form->pVis->x() + form->pVis->width(), form->MiniWidth);
    EXPECT_EQ(form->btnPause->x(), 2);
    EXPECT_FALSE(shown(form->imgVol));
}

TEST_F(Options, UnknownNamesAndShortCheckListsFromTheFile) {
    store({{"button_order", "Play,Lyric,Stop"}, {"button_check", "y"}, {"progress_show", "FALSE"}});
    form->ApplyButtonSettings();
    TFOptions dialog(*form);
    EXPECT_EQ(dialog.Labels(), (Strings{"播放", "Lyric", "停止"}));
    EXPECT_EQ(dialog.Checks(), (std::vector<bool>{true, false, false}));
    EXPECT_FALSE(dialog.cbProgress->isChecked());
    dialog.btnOkClick();
    EXPECT_EQ(stored()->buttonOrder, "Play,Lyric,Stop");
    EXPECT_EQ(stored()->buttonCheck, "y,n,n");
}

TEST_F(Options, ButtonMenuTogglesOneControl) {
    form->miStop->trigger();  // unchecks it
    EXPECT_FALSE(form->miStop->isChecked());
    EXPECT_FALSE(shown(form->btnStop));
    EXPECT_EQ(form->MiniWidth, 175 - 19);
    EXPECT_EQ(stored()->buttonOrder, "Visual,Play,Prev,Next,Stop,Mute,Open,List");
    EXPECT_EQ(stored()->buttonCheck, "y,y,y,y,n,y,y,y");

    form->miProgress->trigger();
    EXPECT_EQ(stored()->progressShow, "false");
    EXPECT_FALSE(shown(form->imgProgress));
    EXPECT_FALSE(shown(form->btnthumb));
    EXPECT_FALSE(form->miProgress->isChecked());
    form->miVol->trigger();
    EXPECT_EQ(stored()->volumnShow, "false");
    EXPECT_FALSE(shown(form->imgVol));
    form->miStop->trigger();
    EXPECT_TRUE(shown(form->btnStop));
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(Options, ButtonMenuWithAShortCheckListOrAMissingName) {
    store({{"button_order", "Play,Prev,List"}, {"button_check", "y"}});
    form->ApplyButtonSettings();
    form->miList->setChecked(false);
    form->miList->trigger();  // List is the order's third name, the check list has one entry
    EXPECT_EQ(stored()->buttonCheck, "y,n,y");
    EXPECT_TRUE(shown(form->btnList));
    form->miMute->setChecked(true);
    form->miMute->trigger();  // Mute is not in the order: appended, hidden
    EXPECT_EQ(stored()->buttonOrder, "Play,Prev,List,Mute");
    EXPECT_EQ(stored()->buttonCheck, "y,n,y,n");
    EXPECT_FALSE(shown(form->btnMute));
}

TEST_F(Options, FixedSkinDisablesTheMenuButNotTheDialog) {
    ASSERT_TRUE(form->LoadSkin(SkinFixture("style-fixed.skn"))) << form->SkinError();
    form->CurrentSkinName = "default.skn";  // its settings element
    EXPECT_FALSE(form->miBtnvisible->isEnabled());
    TFOptions dialog(*form);
    // The skin's own lists are the layout in force.
    EXPECT_EQ(dialog.Labels(), (Strings{"播放", "前一首", "后一首", "停止", "静音", "打开", "列表", "图形"}));
    EXPECT_EQ(dialog.Checks(), (std::vector<bool>{true, true, true, false, true, true, true, true}));
    dialog.CheckList->item(0)->setCheckState(Qt::Unchecked);
    dialog.btnOkClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    form->ApplyButtonSettings();
    EXPECT_EQ(stored()->buttonCheck, "n,y,y,n,y,y,y,y");
    EXPECT_FALSE(shown(form->btnPause));
    EXPECT_FALSE(shown(form->btnPlay));
    EXPECT_EQ(form->btnPre->x(), form->EdgeMargin);
}

TEST_F(Options, UnwritableSettingsReportOnceAndLeaveTheStrip) {
    // The settings folder cannot be made: a file stands where its parent
    // should be (a read-only folder does not stop the superuser).
    dir.write("blocker", "");
    TUserFolders folders = PortableFolders(dir.path.string());
    folders.configWrite = (dir.path / "blocker" / "config").string();
    folders.configRead = {folders.configWrite};
    makeForm(folders);

    form->miStop->trigger();
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].caption, "Quillet");
    EXPECT_EQ(boxes->boxes()[0].type & MB_ICONMASK, UINT(MB_ICONERROR));
    EXPECT_NE(boxes->boxes()[0].text.find("blocker"), std::string::npos) << boxes->boxes()[0].text;
    EXPECT_TRUE(form->miStop->isChecked());
    EXPECT_TRUE(shown(form->btnStop));
    EXPECT_EQ(form->ButtonCheck, "y,y,y,y,y,y,y,y");
    EXPECT_EQ(form->MiniWidth, 175);

    TFOptions dialog(*form);
    dialog.cbProgress->setChecked(false);
    dialog.btnOkClick();
    EXPECT_EQ(boxes->boxes().size(), 2u);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    form->ApplyButtonSettings();  // what a later layout shows: the same strip
    EXPECT_TRUE(shown(form->imgProgress));
    EXPECT_EQ(form->MiniWidth, 175);
}

TEST_F(Options, TheModalDialogAppliesOnOkOnly) {
    // Cancel: nothing written, nothing changed.
    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<TFOptions*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->CheckList->item(0)->setCheckState(Qt::Unchecked);
        dialog->btnCancel->click();
    });
    form->Options1Click();
    EXPECT_FALSE(stored());
    EXPECT_TRUE(shown(form->pVis));

    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<TFOptions*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->CheckList->item(0)->setCheckState(Qt::Unchecked);
        dialog->btnOk->click();
    });
    form->Options1Click();
    EXPECT_FALSE(shown(form->pVis));
    EXPECT_FALSE(form->miVisual->isChecked());
    EXPECT_EQ(form->MiniWidth, 175 - 40);
    // The dialog freed itself.
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_EQ(dynamic_cast<TFOptions*>(w), nullptr);
}

}  // namespace
