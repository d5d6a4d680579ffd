// The command line's names and options, the queue the desktop's commands
// wait in, and the MIME types the engine's patterns stand for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <vector>

#include "shell/CommandLine.h"
#include "shell/DesktopSession.h"
#include "shell/Mpris.h"

namespace {

using Names = std::vector<std::string>;

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString();
        for (const char* name : {"a b.mp3", "c.ogg", "unreadable.mp3"}) {
            QFile f(dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        QDir(dir.path()).mkdir("folder");
        QFile(dir.filePath("unreadable.mp3")).setPermissions(QFileDevice::Permissions());
    }
    QTemporaryDir dir;
    std::string root;
};

}  // namespace

TEST_F(CommandLine, NamesAreResolvedWhereTheProgramStarted) {
    struct Case {
        std::string name;
        std::string resolved;  // empty: skipped
    };
    const std::vector<Case> cases = {
        {"a b.mp3", root + "/a b.mp3"},
        {"./folder/../c.ogg", root + "/c.ogg"},
        {root + "/c.ogg", root + "/c.ogg"},
        {"file://" + root + "/a%20b.mp3", root + "/a b.mp3"},
        {"file://localhost" + root + "/c.ogg", root + "/c.ogg"},
        {"file://elsewhere" + root + "/c.ogg", ""},
        {"http://radio.example/live", "http://radio.example/live"},
        {"MMS://radio.example/live", "MMS://radio.example/live"},
        {"http://", ""},
        {"https://radio.example/live", ""},
        {"ftp://host/x.mp3", ""},
        {"missing.mp3", ""},
        {"folder", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(ResolveName(c.name, root, &why), c.resolved) << c.name;
        EXPECT_EQ(why.empty(), !c.resolved.empty()) << c.name << ": " << why;
    }
    // Read permission does not hold back root; the others cannot read it.
    if (::geteuid() != 0) {
        std::string why;
        EXPECT_EQ(ResolveName("unreadable.mp3", root, &why), "");
    }
}

TEST_F(CommandLine, OptionsNamesAndSkippedNames) {
    TCommandLine line = ParseCommandLine({"c.ogg", "nothing.mp3", "--", "--version", "-x"}, root);
    EXPECT_FALSE(line.version);  // after "--" every argument is a name
    EXPECT_EQ(line.names, (Names{root + "/c.ogg"}));
    EXPECT_EQ(line.skipped, (Names{"quilletplay: skipped nothing.mp3: no such file",
                                   "quilletplay: skipped --version: no such file",
                                   "quilletplay: skipped -x: no such file"}));
    EXPECT_TRUE(line.badOption.empty());

    line = ParseCommandLine({"--help", "c.ogg"}, root);
    EXPECT_TRUE(line.help);
    line = ParseCommandLine({"-v"}, root);
    EXPECT_TRUE(line.version);
    line = ParseCommandLine({"--play-loud", "--other"}, root);
    EXPECT_EQ(line.badOption, "--play-loud");
    line = ParseCommandLine({"-"}, root);  // a lone dash is a name
    EXPECT_TRUE(line.badOption.empty());
    EXPECT_EQ(line.skipped.size(), 1u);
    EXPECT_NE(UsageText().find("[FILE|URL]"), std::string::npos);
    EXPECT_EQ(VersionText().rfind("quilletplay ", 0), 0u);
}

TEST(MimeTypes, FollowThePatternsTheEnginePlays) {
    EXPECT_EQ(MimeTypesForPatterns("*.mp3;*.MP2;*.ogg;"),
              (QStringList{"audio/mpeg", "audio/ogg", "audio/x-mp3", "audio/x-vorbis+ogg"}));
    EXPECT_EQ(MimeTypesForPatterns("*.XM;*.it;*.unknown;;*.;"), (QStringList{"audio/x-it", "audio/x-xm"}));
    EXPECT_TRUE(MimeTypesForPatterns("").isEmpty());
}

TEST(CommandQueue, RunsOneAtATimeInOrderAndNeverInsideAWait) {
    bool idle = false;
    TCommandQueue queue([&idle] { return idle; });
    std::vector<int> ran;
    queue.Enqueue([&] {
        ran.push_back(1);
        // One queued while this runs waits until this is over, also when
        // the event loop runs meanwhile (as the engine's waits run it).
        queue.Enqueue([&] { ran.push_back(3); });
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        ran.push_back(2);
    });
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(ran.empty());  // a wait is active
    idle = true;
    for (int i = 0; i < 200 && ran.size() < 3; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(queue.Size(), 0u);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
