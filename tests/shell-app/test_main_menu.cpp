// The context menu: its items in order, their icons and check marks, the skin
// menu and a skin switch through it, where the menu opens, and the about box.
// Offscreen, with the player on the no-sound device and boxes recorded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTimer>
#include <filesystem>

#include "platform/win/MessageBox.h"
#include "platform/zip/ZipReader.h"
#include "tests/shell-app/MenuRig.h"
#include "tests/shell/SkinTestUtil.h"

namespace fs = std::filesystem;

namespace {

// The playlist seen by the menu: records what the skin switch shows it.
class RecordingPlaylist : public TModelPlaylist {
  public:
    RecordingPlaylist(TPlayListModel& model, TFMain& form) : TModelPlaylist(model), m_form(form) {}
    void ApplyPlaylistSkin() override {
        std::string skinXml;
        m_form.SkinZip.extract("skin.xml", skinXml);
        applied.push_back({m_form.CurrentSkinName, m_form.MiniWidth, skinXml});
    }
    struct Applied {
        std::string skin;
        int miniWidth;
        std::string skinXml;  // of the archive open at that moment
    };
    std::vector<Applied> applied;

  private:
    TFMain& m_form;
};

class ContextMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        // A user's data folder and the program's folder, each with skins.
        TUserFolders folders;
        folders.portable = false;
        folders.configWrite = folders.dataWrite = (dir.path / "user").string();
        folders.configRead = {folders.configWrite};
        folders.dataRead = {folders.dataWrite, (dir.path / "program").string()};
        fs::create_directories(userSkins());
        ASSERT_TRUE(ExtractDefaultSkin(programSkins()));
        rig = std::make_unique<TMenuRig>(
            folders, (dir.path / "playlist.xml").string(), [this](TPlayListModel& model, TFMain& form) {
                auto recording = std::make_unique<RecordingPlaylist>(model, form);
                playlist = recording.get();
                return std::unique_ptr<IMiniPlaylist>(std::move(recording));
            });
        ASSERT_TRUE(rig->form->SkinError().empty()) << rig->form->SkinError();
        form = rig->form.get();
        player = rig->player.get();
        controller = rig->controller.get();
        menu = rig->menu.get();
    }
    void TearDown() override {
        rig.reset();
        quillet::win::setMessageBoxPresenter(nullptr);
    }
    void makeMenu() {
        rig->makeMenu();
        menu = rig->menu.get();
    }
    fs::path userSkins() const { return dir.path / "user" / "QuilletSkins"; }
    fs::path programSkins() const { return dir.path / "program" / "QuilletSkins"; }
    void copySkin(const std::string& fixture, const fs::path& to) {
        fs::copy_file(SkinFixture(fixture), to, fs::copy_options::overwrite_existing);
    }
    QList<QAction*> skinItems() const { return menu->mnSkins.actions(); }
    QAction* skinItem(const QString& caption) const { return rig->skinItem(caption); }

    TempDir dir;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    std::unique_ptr<TMenuRig> rig;
    TFMain* form = nullptr;
    TVAVIVerovu* player = nullptr;
    RecordingPlaylist* playlist = nullptr;
    TMainController* controller = nullptr;
    TMainMenu* menu = nullptr;
};

// The index of the image list whose picture the action shows; -1 without one.
int imageIndex(const QAction* action) {
    if (action->icon().isNull()) return -1;
    const QImage shown = action->icon().pixmap(16, 16).toImage();
    for (int i = 0; i < kMenuImageCount; ++i)
        if (MenuImage(i).pixmap(16, 16).toImage() == shown) return i;
    return -2;
}

TEST(MenuImages, SevenDistinctPictures) {
    for (int i = 0; i < kMenuImageCount; ++i) {
        const QImage a = MenuImage(i).pixmap(16, 16).toImage();
        ASSERT_FALSE(a.isNull());
        for (int j = 0; j < i; ++j) EXPECT_NE(a, MenuImage(j).pixmap(16, 16).toImage()) << i << " " << j;
    }
    EXPECT_TRUE(MenuImage(kMenuImageCount).isNull());
}

TEST_F(ContextMenu, ItemsInOrderWithCaptionsIconsAndChecks) {
    struct Row {
        const char* caption;  // "-" for a separator
        int image;
    };
    const Row rows[] = {{"关于Quillet...", -1},
                        {"-", -1},
                        {"播放", 3},
                        {"暂停", 4},
                        {"停止", 2},
                        {"前一首", -1},
                        {"后一首", -1},
                        {"静音", -1},
                        {"打开音乐文件...", 6},
                        {"-", -1},
                        {"按钮设置", -1},
                        {"编辑播放列表...", 1},
                        {"选择皮肤", -1},
                        {"设置...", 0},
                        {"-", -1},
                        {"当前歌曲属性...", 5},
                        {"-", -1},
                        {"退出", -1},
                        {"vis", -1}};
    const QList<QAction*> actions = menu->PopupMenu1.actions();
    ASSERT_EQ(actions.size(), qsizetype(std::size(rows)));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const QAction* a = actions[qsizetype(i)];
        if (std::string(rows[i].caption) == "-") {
            EXPECT_TRUE(a->isSeparator()) << i;
            continue;
        }
        EXPECT_EQ(a->text(), QString::fromUtf8(rows[i].caption)) << i;
        EXPECT_EQ(imageIndex(a), rows[i].image) << rows[i].caption;
        EXPECT_EQ(a->isVisible(), i != std::size(rows) - 1 && a != menu->mnSkins.menuAction()) << i;
    }
    EXPECT_EQ(actions[7], &controller->mnMute);
    EXPECT_TRUE(controller->mnMute.isCheckable());
    EXPECT_FALSE(controller->mnMute.isChecked());
    EXPECT_EQ(actions[10], form->miBtnvisible);
    EXPECT_EQ(actions[10]->menu(), &menu->miBtnvisibleMenu);
    EXPECT_TRUE(form->miBtnvisible->isEnabled());
    EXPECT_EQ(actions[12], menu->mnSkins.menuAction());
    EXPECT_EQ(actions[18], menu->vis1);

    // The button settings: ten check items by tag, a rule before the bars.
    const char* captions[] = {"显示播放按钮", "显示上一首按钮",   "显示下一首按钮",   "显示停止按钮",
                              "显示静音按钮", "显示打开文件按钮", "显示打开列表按钮", "显示频谱图形",
                              nullptr,        "显示播放进度控制", "显示声音大小控制"};
    const QList<QAction*> buttons = menu->miBtnvisibleMenu.actions();
    ASSERT_EQ(buttons.size(), 11);
    for (int i = 0; i < 11; ++i) {
        if (captions[i] == nullptr) {
            EXPECT_TRUE(buttons[i]->isSeparator());
            continue;
        }
        EXPECT_EQ(buttons[i]->text(), QString::fromUtf8(captions[i]));
        EXPECT_TRUE(buttons[i]->isCheckable());
        EXPECT_TRUE(buttons[i]->isChecked()) << captions[i];
        EXPECT_EQ(buttons[i]->data().toInt(), i < 8 ? i : i - 1);
    }
}

TEST_F(ContextMenu, ItemsRunTheirCommands) {
    bool closed = false;
    menu->OnClose = [&] { closed = true; };
    menu->Properties1->trigger();  // nothing plays: it says so
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].text, "当前播放文件未指定");
    controller->mnMute.trigger();
    EXPECT_EQ(controller->mnMute.isChecked(), player->Muted());
    EXPECT_EQ(form->btnMute->Pressed(), player->Muted());
    menu->Close1->trigger();
    EXPECT_TRUE(closed);
    // Checks in the menu follow the strip.
    form->miStop->trigger();
    EXPECT_FALSE(form->btnStop->isVisibleTo(form));
}

TEST_F(ContextMenu, FixedSkinDisablesTheButtonSettings) {
    ASSERT_TRUE(form->LoadSkin(SkinFixture("style-fixed.skn")));
    EXPECT_FALSE(form->miBtnvisible->isEnabled());
    ASSERT_TRUE(form->LoadSkin(form->SkinPath("default.skn")));
    EXPECT_TRUE(form->miBtnvisible->isEnabled());
}

TEST_F(ContextMenu, OpensAtTheStripsCornerAndClosesTheBalloon) {
    form->move(100, 200);
    form->show();
    controller->Balloon()->ShowAt(QPoint(10, 10), "Quillet", {"x"});
    menu->MenuPosition = nullptr;
    const TPoint corner = menu->StripMenuPosition();
    const QPoint topLeft = form->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(corner, (TPoint{topLeft.x() + form->width(), topLeft.y()}));

    // A right click on the strip, handled by the menu.
    menu->MenuPosition = [] { return TPoint{300, 50}; };
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), form->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form, &click);
    EXPECT_TRUE(click.isAccepted());
    ASSERT_TRUE(menu->PopupMenu1.isVisible());
    EXPECT_EQ(menu->PopupMenu1.pos(), QPoint(300, 50));
    EXPECT_FALSE(controller->Balloon()->isVisible());
    EXPECT_TRUE(controller->BalloonShown);  // not again while the mouse stays
    menu->PopupMenu1.hide();
}

TEST(SkinFiles, ListedOnceSortedTheFirstFolderWinning) {
    TempDir a, b;
    for (const char* name : {"b.skn", "paper.skn", "notes.txt"}) a.write(name, "a");
    for (const char* name : {"paper.skn", "A.SKN", "c.skn"}) b.write(name, "b");
    const std::vector<TSkinFile> files = ListSkinFiles({a.path.string(), b.path.string(), "/nonexistent"});
    const std::vector<TSkinFile> expected{{"A.SKN", (b.path / "A.SKN").string()},
                                          {"b.skn", (a.path / "b.skn").string()},
                                          {"c.skn", (b.path / "c.skn").string()},
                                          {"paper.skn", (a.path / "paper.skn").string()}};
    EXPECT_EQ(files, expected);
}

TEST_F(ContextMenu, SkinMenuHiddenWithOneSkinRadioItemsWithTwo) {
    EXPECT_TRUE(skinItems().isEmpty());
    EXPECT_FALSE(menu->mnSkins.menuAction()->isVisible());

    copySkin("paper.skn", userSkins() / "paper.skn");
    menu->BuildSkinMenu();
    ASSERT_EQ(skinItems().size(), 2);
    EXPECT_TRUE(menu->mnSkins.menuAction()->isVisible());
    EXPECT_EQ(skinItems()[0]->text(), "default.skn");
    EXPECT_EQ(skinItems()[1]->text(), "paper.skn");
    EXPECT_TRUE(skinItems()[0]->isChecked());
    EXPECT_FALSE(skinItems()[1]->isChecked());
    ASSERT_NE(skinItems()[0]->actionGroup(), nullptr);
    EXPECT_TRUE(skinItems()[0]->actionGroup()->isExclusive());
    EXPECT_EQ(skinItems()[0]->actionGroup(), skinItems()[1]->actionGroup());

    // Built again (a new menu), the current skin is found whatever its case.
    form->CurrentSkinName = "PAPER.SKN";
    makeMenu();
    EXPECT_TRUE(skinItem("paper.skn")->isChecked());
}

TEST_F(ContextMenu, SwitchingSkinsRelaysOutBothWindowsAtOnce) {
    copySkin("paper.skn", userSkins() / "paper.skn");
    copySkin("style-fixed.skn", programSkins() / "paper.skn");  // the user's copy wins
    menu->BuildSkinMenu();
    ASSERT_NE(skinItem("paper.skn"), nullptr);
    skinItem("paper.skn")->trigger();
    EXPECT_EQ(form->CurrentSkinName, "paper.skn");
    EXPECT_TRUE(form->SkinError().empty()) << form->SkinError();
    EXPECT_FALSE(form->FixedStyle);

    // The strip as a fresh window lays the same skin out.
    TFMain fresh(PortableFolders(dir.path.string()));
    ASSERT_TRUE(fresh.LoadSkin(SkinFixture("paper.skn")));
    fresh.ShapeWindow();
    fresh.PrepareSpectrum();
    fresh.ApplyButtonSettings();
    EXPECT_EQ(form->MiniWidth, fresh.MiniWidth);
    EXPECT_EQ(form->width(), fresh.MiniWidth);
    EXPECT_EQ(form->pVis->x(), fresh.pVis->x());
    EXPECT_EQ(form->SpectrumFrame().size(), fresh.SpectrumFrame().size());
    EXPECT_FALSE(form->mask().isEmpty());

    // The playlist window followed last, from the archive just opened.
    ASSERT_EQ(playlist->applied.size(), 1u);
    EXPECT_EQ(playlist->applied[0].skin, "paper.skn");
    EXPECT_EQ(playlist->applied[0].miniWidth, fresh.MiniWidth);
    EXPECT_NE(playlist->applied[0].skinXml.find("paper_bar.bmp"), std::string::npos);
    EXPECT_TRUE(skinItem("paper.skn")->isChecked());
    EXPECT_FALSE(skinItem("default.skn")->isChecked());

    skinItem("default.skn")->trigger();
    EXPECT_EQ(form->MiniWidth, 175);
    ASSERT_EQ(playlist->applied.size(), 2u);
    EXPECT_EQ(playlist->applied[1].skin, "default.skn");
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(ContextMenu, ANameWithAnAmpersandNamesItsOwnFile) {
    copySkin("paper.skn", userSkins() / "a&b.skn");
    copySkin("style-fixed.skn", userSkins() / "ab.skn");  // what "a&b" without "&" would name
    menu->BuildSkinMenu();
    QAction* item = skinItem("a&&b.skn");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->iconText(), "a&b.skn");  // what the menu shows
    item->trigger();
    EXPECT_EQ(form->CurrentSkinName, "a&b.skn");
    EXPECT_TRUE(form->SkinError().empty()) << form->SkinError();
    EXPECT_FALSE(form->FixedStyle);  // the paper skin, not the fixed one
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(ContextMenu, ASkinGoneSinceTheMenuWasBuiltFallsBackToTheBuiltIn) {
    copySkin("paper.skn", userSkins() / "paper.skn");
    menu->BuildSkinMenu();
    fs::remove(userSkins() / "paper.skn");
    skinItem("paper.skn")->trigger();
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_NE(boxes->boxes()[0].text.find(" 不存在, 使用默认皮肤"), std::string::npos);
    EXPECT_EQ(form->CurrentSkinName, "default.skn");
    EXPECT_TRUE(skinItem("default.skn")->isChecked());
    EXPECT_EQ(form->MiniWidth, 175);
}

TEST_F(ContextMenu, VisItemIsNeverShown) {
    EXPECT_FALSE(menu->vis1->isVisible());
    menu->PopupMenu1.popup(QPoint(0, 0));
    EXPECT_FALSE(menu->vis1->isVisible());
    EXPECT_TRUE(menu->PopupMenu1.actionGeometry(menu->vis1).isEmpty());
    menu->PopupMenu1.hide();
    // The panel's double click steps the mode back and runs the item's command.
    form->SetVisMode(2);
    form->pVis->OnDblClick();
    EXPECT_EQ(form->VisMode, 1);
}

TEST_F(ContextMenu, AboutBoxShowsItsLinesAndOpensTheLinks) {
    QTextBrowser opened;  // stands in for the browser and the mail program
    QDesktopServices::setUrlHandler("https", &opened, "setSource");
    QDesktopServices::setUrlHandler("mailto", &opened, "setSource");
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* about = dynamic_cast<TFAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about, menu->About());
        EXPECT_EQ(about->windowRole(), "about");
        EXPECT_EQ(about->windowTitle(), QString::fromUtf8("关于"));
        EXPECT_EQ(about->VersionLine->text(), QString::fromUtf8("版本：1.0.2"));
        EXPECT_EQ(about->Request->text(), QString::fromUtf8("如有问题或者建议，请给我发邮件，谢谢！"));
        EXPECT_EQ(about->Button1->text(), QString::fromUtf8("关闭"));
        EXPECT_EQ(about->Picture->pixmap().size(), QSize(250, 80));
        // A second click brings this one forward instead of a new box.
        menu->miAboutClick();
        EXPECT_EQ(menu->About(), about);
        const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
        for (QLabel* link : {about->HomePageLink, about->MailLink})
            emit link->linkActivated(href.match(link->text()).captured(1));
        checked = true;
        about->Button1->click();
    });
    menu->miAboutClick();
    EXPECT_TRUE(checked);
    EXPECT_EQ(menu->About(), nullptr);  // freed and forgotten
    EXPECT_EQ(opened.source(), QUrl("mailto:quillet@example.org"));
    EXPECT_EQ(opened.backwardHistoryCount(), 1);  // the home page before it
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("mailto");
}

TEST(AboutLogo, DecodedFromTheJpeg) {
    const QImage logo = TFAbout::Logo();
    ASSERT_EQ(logo.size(), QSize(250, 80));
    // Dark blue at the top left, the white of the name in the middle.
    const QRgb corner = logo.pixel(2, 2);
    EXPECT_LT(qRed(corner), 0x40);
    EXPECT_GT(qBlue(corner), qRed(corner));
}

}  // namespace
