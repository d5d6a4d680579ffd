// The whole program under a real X server: files added to a new list through
// the open dialog, the list renamed, an item moved to another list, the
// program closed; the playlist file then holds exactly that, and a second
// start shows it again. The input boxes are answered as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "playlist/window/UGroupList.h"
#include "shell/TaskbarDock.h"
#include "shell/UMainApp.h"
#include "shell/UPlayListWindow.h"
#include "tests/playlist-window/WindowTest.h"
#include "tests/shell-app/AppTest.h"

namespace {

// Answers the next modal input box or list picker with `answer`.
void answerInputBox(const QString& answer) {
    auto* poll = new QTimer;  // NOLINT(cppcoreguidelines-owning-memory): it deletes itself once it answered
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QInputDialog*>(modal)) {
            box->setTextValue(answer);
            box->accept();
        } else if (auto* picker = dynamic_cast<TFGroupList*>(modal)) {
            const auto found = picker->lstGroup->findItems(answer, Qt::MatchExactly);
            if (!found.isEmpty()) picker->lstGroup->setCurrentItem(found.front());
            picker->btnOk->click();
        } else {
            return;
        }
        poll->stop();
        poll->deleteLater();
    });
    poll->start();
}

class PlayListEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
    }
    void TearDown() override { quillet::win::setMessageBoxPresenter(nullptr); }

    std::unique_ptr<TMainApp> start() {
        TMainApp::TOptions o = quillet::test::TestAppOptions(dir.path());
        auto app = std::make_unique<TMainApp>(std::move(o));
        EXPECT_TRUE(app->FormCreate());
        app->FormShow();
        return app;
    }
    static TFPlayList& window(TMainApp& app) {
        return dynamic_cast<TWindowPlaylist&>(*app.Playlist()).Form();
    }

    QTemporaryDir dir;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
};

}  // namespace

TEST_F(PlayListEndToEnd, ListsMadeInTheWindowSurviveARestart) {
    const std::string a = std::string(QUILLET_FIXTURES) + "/audio/tone-cbr128.mp3";
    const std::string b = std::string(QUILLET_FIXTURES) + "/audio/tone-1k-3s.mp3";
    {
        auto app = start();
        app->Controller()->btnListClick();
        TFPlayList& w = window(*app);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        TPlayListModel& model = *app->Model();
        // Right-aligned above the strip, in the strip's screen coordinates.
        const TRect mini = app->Dock()->miniOnScreen();
        EXPECT_EQ(w.geometry(), QRect(mini.x2 - 420, mini.y1 - 199, 420, 199));

        answerInputBox("Work");
        w.GroupMenu().actions()[0]->trigger();  // new list
        ASSERT_EQ(model.ListCount(), 2u);
        QTest::mouseClick(&w.Lists(), Qt::LeftButton, {}, QPoint(10, 16 + 8));  // shows "Work"
        ASSERT_EQ(model.DisplayedRow(), 1u);

        app->Dialogs().OpenFilesAnswer = [&](std::vector<std::string>& files) {
            files = {a, b};
            return true;
        };
        w.ToolbarMenu(0).actions()[0]->trigger();  // add music files
        ASSERT_EQ(model.Displayed().Items.size(), 2u);
        EXPECT_EQ(w.List().RowCount(), 2u);

        answerInputBox("Renamed");
        w.ToolbarMenu(2).actions()[1]->trigger();  // rename list
        answerInputBox("Other");
        w.ToolbarMenu(2).actions()[4]->trigger();  // new list
        ASSERT_EQ(model.ListCount(), 3u);
        EXPECT_EQ(w.Lists().CellText(1, 0), QStringLiteral("Renamed"));

        w.SelectItemRow(0);
        const std::string moved = model.Displayed().Items[0].StreamInfo.FileName;
        answerInputBox("Other");
        QAction* move = w.ItemMenu().actions()[6];
        ASSERT_EQ(move->text(), QString::fromUtf8("移动当前歌曲到其他列表..."));
        move->trigger();
        ASSERT_EQ(model.Displayed().Items.size(), 1u);
        ASSERT_EQ(model.List(2).Items.size(), 1u);
        EXPECT_EQ(model.List(2).Items[0].StreamInfo.FileName, moved);
        // The exit closes the window, and the shutdown may already have
        // destroyed it.
        const QPointer<QWidget> closing(&w);
        app->Close1Click();
        EXPECT_TRUE(closing.isNull() || !closing->isVisible());
    }

    // The file holds exactly the two lists.
    ScriptedDialogs dialogs;
    FakeEngine engine;
    TPlayListModel saved(dir.filePath("playlist.xml").toStdString(), dialogs, engine);
    saved.LoadPlaylists();
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(saved.ListCount(), 3u);
    EXPECT_EQ(saved.ListName(1), "Renamed");
    EXPECT_EQ(saved.ListName(2), "Other");
    ASSERT_EQ(saved.List(1).Items.size(), 1u);
    ASSERT_EQ(saved.List(2).Items.size(), 1u);
    const std::string kept = saved.List(1).Items[0].StreamInfo.FileName;
    const std::string moved = saved.List(2).Items[0].StreamInfo.FileName;
    EXPECT_TRUE((kept == a && moved == b) || (kept == b && moved == a));
    EXPECT_GT(saved.List(1).Items[0].StreamInfo.Duration, 0u);

    // A second start shows them.
    auto app = start();
    app->Controller()->btnListClick();
    TFPlayList& w = window(*app);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_EQ(w.Lists().RowCount(), 3u);
    EXPECT_EQ(w.Lists().CellText(1, 0), QStringLiteral("Renamed"));
    EXPECT_EQ(w.Lists().CellText(2, 0), QStringLiteral("Other"));
    QTest::mouseClick(&w.Lists(), Qt::LeftButton, {}, QPoint(10, 2 * 16 + 8));
    ASSERT_EQ(w.List().RowCount(), 1u);
    EXPECT_EQ(w.List().CellText(0, 0).toStdString(), moved);
    app->Close1Click();
}

TEST_F(PlayListEndToEnd, DamagedPlaylistIsReportedOnceTheMiniWindowShows) {
    const std::string damaged = "<playlist count=\"2\"><group1 caption=\"x\"";
    const QString file = dir.filePath("playlist.xml");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged.data(), qint64(damaged.size()));
    }
    TMainApp::TOptions o = quillet::test::TestAppOptions(dir.path());
    TMainApp app(std::move(o));
    bool shownFirst = false;
    ASSERT_TRUE(app.FormCreate());
    const std::size_t before = boxes->boxes().size();
    app.FormShow();
    shownFirst = app.Form().isVisible();
    ASSERT_EQ(boxes->boxes().size(), before + 1);
    EXPECT_TRUE(shownFirst);
    EXPECT_EQ(boxes->boxes().back().caption, "Quillet");
    // Nothing changed: the file stays as it was.
    app.Close1Click();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), damaged);
}

TEST_F(PlayListEndToEnd, DroppedFolderAddsItsPlayableFiles) {
    auto app = start();
    auto& playlist = dynamic_cast<TWindowPlaylist&>(*app->Playlist());
    TPlayListModel& model = *app->Model();
    model.SortbyOpenIndex1Click();
    playlist.AddDropped({std::string(QUILLET_FIXTURES) + "/audio"});
    const auto& items = model.Displayed().Items;
    ASSERT_GE(items.size(), 5u);
    for (std::size_t i = 1; i < items.size(); ++i)
        EXPECT_LT(items[i - 1].StreamInfo.FileName, items[i].StreamInfo.FileName);
    for (const TMediaInf& item : items) {
        const std::string& name = item.StreamInfo.FileName;
        EXPECT_FALSE(name.ends_with(".md") || name.ends_with(".sh")) << name;  // not audio
    }
    EXPECT_TRUE(model.Modified());
    app->Close1Click();
}
