// Adding many files: the event loop runs between files, the progress dialog
// appears after half a second and its Cancel keeps what was read; messages
// held at start-up; dropped folders expanded.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "playlist/window/AddProgress.h"
#include "tests/playlist/PlayListDoubles.h"

namespace {

// An engine that takes `delayMs` per file and runs `onRead` after each.
class SlowEngine : public FakeEngine {
  public:
    int delayMs = 0;
    std::function<void(int reads)> onRead;
    int reads = 0;
    bool GetStreamInfo(const std::string& name, TStreamInfo& info) override {
        QThread::msleep(unsigned(delayMs));
        const bool ok = FakeEngine::GetStreamInfo(name, info);
        ++reads;
        if (onRead) onRead(reads);
        return ok;
    }
};

class AddProgressTest : public ::testing::Test {
  protected:
    AddProgressTest() : progress(engine, dialogs), model("/nonexistent/playlist.xml", progress, progress) {}
    void choose(int n) {
        std::vector<std::string> files;
        for (int i = 0; i < n; ++i) {
            files.push_back("/m/" + std::to_string(100 + i) + ".mp3");
            engine.add(files.back());
        }
        dialogs.files = files;
    }
    ScriptedDialogs dialogs;
    SlowEngine engine;
    TAddProgress progress;
    TPlayListModel model;
};

}  // namespace

TEST_F(AddProgressTest, QuickAddShowsNoDialogAndKeepsTheEventLoopRunning) {
    choose(20);
    engine.delayMs = 5;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    bool dialogSeen = false;
    engine.onRead = [&](int) { dialogSeen = dialogSeen || progress.Dialog() != nullptr; };
    model.Files1Click();
    EXPECT_EQ(model.Displayed().Items.size(), 20u);
    EXPECT_FALSE(dialogSeen);
    EXPECT_GT(ticks, 0);  // timers ran during the add
    EXPECT_GE(progress.LongestStepMs(), 4);
    EXPECT_LT(progress.LongestStepMs(), 1000);
}

TEST_F(AddProgressTest, DialogAfterHalfASecondAndCancelKeepsWhatWasRead) {
    choose(40);
    engine.delayMs = 40;
    int shownAt = -1;
    engine.onRead = [&](int reads) {
        if (shownAt < 0 && progress.Dialog()) shownAt = reads;
        if (shownAt > 0 && reads == shownAt + 2) progress.Dialog()->cancel();
    };
    model.Files1Click();
    ASSERT_GT(shownAt, 0);
    EXPECT_GE(shownAt * 40, 500 - 40);  // not before half a second
    const std::size_t added = model.Displayed().Items.size();
    EXPECT_EQ(added, std::size_t(shownAt + 2));  // the rest was skipped
    EXPECT_EQ(engine.reads, shownAt + 2);
    EXPECT_EQ(progress.Dialog(), nullptr);  // closed at the end
    // The next add starts afresh.
    choose(3);
    engine.delayMs = 0;
    model.Files1Click();
    EXPECT_EQ(model.Displayed().Items.size(), added + 3);
}

TEST_F(AddProgressTest, MessagesHeldUntilReleasedThenShownOnce) {
    progress.HoldMessages();
    progress.ShowMessage("broken", "Quillet", TMsgIcon::Error);
    EXPECT_TRUE(dialogs.messages.empty());
    progress.ReleaseMessages();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "broken");
    progress.ReleaseMessages();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    progress.ShowMessage("later", "Quillet", TMsgIcon::None);
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST(DroppedPaths, FoldersGiveTheirPlayableFilesSortedByPath) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("b/deep"));
    ASSERT_TRUE(root.mkpath("a"));
    for (const char* name : {"b/deep/z.ogg", "b/y.MP3", "a/x.mp3", "a/notes.txt", "top.mp3"}) {
        QFile f(root.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const std::string base = dir.path().toStdString();
    const auto names = ExpandDropped({base + "/top.mp3", base, base + "/missing.mp3"}, "*.mp3;*.ogg;");
    const std::vector<std::string> expected{base + "/top.mp3", base + "/a/x.mp3", base + "/b/deep/z.ogg",
                                            base + "/b/y.MP3", base + "/top.mp3"};
    EXPECT_EQ(names, expected);
}
