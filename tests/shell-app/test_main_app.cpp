// Start-up, the transport handlers and the shutdown of the whole program's
// spine, offscreen, with the player on the no-sound device and message boxes
// recorded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>

#include "shell/UMainApp.h"
#include "tests/engine/EngineTest.h"
#include "tests/shell-app/AppTest.h"

namespace {

using quillet::test::waitFor;

class MainApp : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        // A copy of this test run from a folder of its own still reads the
        // program folder's resources.
        const char* folder = std::getenv("QUILLET_TEST_PROGRAM_FOLDER");
        const std::string bin = folder ? folder : QCoreApplication::applicationDirPath().toStdString();
        TMainApp::TOptions o = quillet::test::TestAppOptions(bin, dir.path());
        o.hookStart = [this](HWND hwnd, int mode, int width, int height) {
            calls.push_back("HookStart");
            hookArgs = {mode, width, height};
            hookWindow = hwnd;
        };
        o.hookEnd = [this] { calls.push_back("HookEnd"); };
        app = std::make_unique<TMainApp>(std::move(o));
        app->OnShutdownStep = [this](const char* step) { calls.push_back(std::string("done ") + step); };
    }
    void TearDown() override {
        app.reset();
        quillet::win::setMessageBoxPresenter(nullptr);
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& b : boxes->boxes()) texts.push_back(b.text);
        return texts;
    }
    // Answers the open-file dialog with `path`.
    void answerOpen(const std::string& path) {
        app->Dialogs().OpenFilesAnswer = [path](std::vector<std::string>& files) {
            files = {path};
            return true;
        };
    }

    QTemporaryDir dir;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    std::unique_ptr<TMainApp> app;
    std::vector<std::string> calls;
    std::vector<int> hookArgs;
    HWND hookWindow = nullptr;
};

}  // namespace

TEST_F(MainApp, StartUpHooksTheWindowAndReportsOnlyMissingAddOnsInOrder) {
    ASSERT_TRUE(app->FormCreate()) << (boxTexts().empty() ? "" : boxTexts().front());
    TVAVIVerovu& player = *app->Player();
    std::vector<std::string> expected;
    if (!player.WMAReady()) expected.push_back("BASSWMA.DLL is not loaded.");
    if (!player.CDReady()) expected.push_back("BASSCD.DLL is not loaded.");
    if (!player.MIDIReady()) expected.push_back("BASSMIDI.DLL is not loaded.");
    EXPECT_EQ(boxTexts(), expected);
    for (const auto& b : boxes->boxes()) EXPECT_EQ(b.caption, "Quillet");
    ASSERT_EQ(calls, (std::vector<std::string>{"HookStart"}));
    EXPECT_EQ(hookWindow, app->Form().Handle);
    EXPECT_NE(hookWindow, nullptr);
    EXPECT_EQ(hookArgs, (std::vector<int>{1, app->Form().MiniWidth, 32}));
    EXPECT_GT(app->Form().MiniWidth, 0);
    app->FormShow();
    EXPECT_EQ(app->Form().width(), app->Form().MiniWidth);
    EXPECT_FALSE(app->Controller()->Timer_step.isActive());  // stopped: no timer runs
    EXPECT_FALSE(app->Controller()->Timer1.isActive());
}

TEST_F(MainApp, ShutdownReleasesTheTaskbarFirstAndRunsOnce) {
    ASSERT_TRUE(app->FormCreate());
    app->FormShow();
    app->Close1Click();  // closes the form, which shuts down
    app->FormClose();    // a second request (a signal during the exit)
    app->Form().close();
    EXPECT_EQ(calls, (std::vector<std::string>{"HookStart", "HookEnd", "done HookEnd", "done player"}));
    EXPECT_EQ(app->Player(), nullptr);
    EXPECT_TRUE(app->Closed());
}

TEST_F(MainApp, ExitFadesThePlaylistWindowThenReleasesTheTaskbarBeforeThePlayer) {
    ASSERT_TRUE(app->FormCreate());
    app->FormShow();
    QWidget* list = app->Playlist()->Window();
    ASSERT_NE(list, nullptr);
    app->Playlist()->ShowWindow();
    ASSERT_TRUE(waitFor([&] { return list->isVisible(); }));
    std::vector<std::string> seenAtHookEnd;
    app->OnShutdownStep = [&](const char* step) {
        calls.push_back(std::string("done ") + step);
        if (std::string(step) == "HookEnd")
            seenAtHookEnd.push_back(list->isVisible() ? "list shown" : "list closed");
    };
    QElapsedTimer t;
    t.start();
    app->Close1Click();
    const qint64 took = t.elapsed();
    EXPECT_EQ(app->FadeSteps(), (std::vector<int>{250, 240, 230, 220, 210, 200, 190, 180, 170, 160, 150}));
    EXPECT_GE(took, 100);  // eleven waits of 10 ms
    EXPECT_EQ(seenAtHookEnd, std::vector<std::string>{"list closed"});
    EXPECT_EQ(calls, (std::vector<std::string>{"HookStart", "HookEnd", "done HookEnd", "done player"}));
}

// Without the audio library beside the program: one message, and the start-up
// ends there (no docking, no add-on messages). This test runs a copy of itself
// from a folder without the library.
TEST_F(MainApp, WithoutTheAudioLibraryOneMessageAndNoDocking) {
    if (std::getenv("QUILLET_TEST_PROGRAM_FOLDER") != nullptr) {
        EXPECT_FALSE(app->FormCreate());
        EXPECT_EQ(boxTexts(), std::vector<std::string>{"BASS.DLL is not loaded."});
        EXPECT_TRUE(calls.empty());  // no HookStart
        app->FormShow();
        EXPECT_TRUE(app->Form().isVisible());
        return;
    }
    QTemporaryDir alone;
    ASSERT_TRUE(alone.isValid());
    const QString copy = alone.filePath("test_main_app");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    ASSERT_FALSE(QFile::exists(alone.filePath("libbass.so")));
    // Started with fork and exec, which the thread sanitizer follows; the
    // raw clone QProcess uses leaves this thread's later locks unseen by it.
    // Everything the child needs is made before the fork: between fork and
    // exec it only calls what is safe there.
    const QByteArray log = alone.filePath("out.txt").toLocal8Bit();
    const QByteArray program = copy.toLocal8Bit();
    std::vector<std::string> environment{"QUILLET_TEST_PROGRAM_FOLDER=" +
                                         QCoreApplication::applicationDirPath().toStdString()};
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=MainApp.WithoutTheAudioLibraryOneMessageAndNoDocking";
    std::vector<char*> argv{const_cast<char*>(program.constData()), filter.data(), nullptr};
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int fd = ::open(log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        ::execve(program.constData(), argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    QFile file(QString::fromLocal8Bit(log));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString out = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

TEST_F(MainApp, OpenPlaysTheChosenFileEvenWhenTheListIsResorted) {
    ASSERT_TRUE(app->FormCreate());
    TMainController& c = *app->Controller();
    const std::string later = enginetest::writeSineWav("zz-later.wav", 3);
    const std::string first = enginetest::writeSineWav("aa-first.wav", 2);
    answerOpen(later);
    c.btnOpenClick();
    EXPECT_EQ(app->Player()->StreamName(), later);
    EXPECT_EQ(app->Form().TotalTimeText, "00:03");
    // Sorted by file name, the second file lands before the first.
    app->Model()->SortbyFileName1Click();
    answerOpen(first);
    c.btnOpenClick();
    EXPECT_EQ(app->Player()->StreamName(), first);
    EXPECT_EQ(app->Form().TotalTimeText, "00:02");
    ASSERT_TRUE(waitFor([&] { return app->Player()->Mode() == plmPlaying; }));
    EXPECT_TRUE(waitFor([&] { return c.Timer_step.isActive() && c.PauseInFront(); }));
}

TEST_F(MainApp, PauseResumeAndStopFollowThePlayer) {
    ASSERT_TRUE(app->FormCreate());
    TMainController& c = *app->Controller();
    answerOpen(enginetest::writeSineWav("tone.wav", 5));
    c.btnOpenClick();
    ASSERT_TRUE(waitFor([&] { return app->Player()->Mode() == plmPlaying; }));
    c.btnPauseClick();
    EXPECT_FALSE(c.PauseInFront());
    ASSERT_TRUE(waitFor([&] { return app->Player()->Mode() == plmPaused; }));
    EXPECT_FALSE(c.Timer_step.isActive());
    c.btnPlayClick();  // resumes without consulting the playlist
    EXPECT_TRUE(c.PauseInFront());
    ASSERT_TRUE(waitFor([&] { return app->Player()->Mode() == plmPlaying && c.Timer_step.isActive(); }));
    c.btnStopClick();
    ASSERT_TRUE(waitFor([&] { return app->Player()->Mode() == plmStopped; }));
    EXPECT_FALSE(c.Timer_step.isActive());
    EXPECT_FALSE(c.PauseInFront());
    EXPECT_EQ(app->Player()->Position(), 0u);
}

TEST_F(MainApp, BarsClampReleasesOutsideThem) {
    ASSERT_TRUE(app->FormCreate());
    TMainController& c = *app->Controller();
    TFMain& f = app->Form();
    ASSERT_GT(f.imgVol->width(), 0);
    c.imgVolMouseUp(Qt::LeftButton, -20);  // left of the bar: silence, not full volume
    EXPECT_EQ(app->Player()->Volume(), 0u);
    c.imgVolMouseUp(Qt::LeftButton, f.imgVol->width() + 20);
    EXPECT_EQ(app->Player()->Volume(), 255u);
    c.imgVolMouseUp(Qt::RightButton, 0);
    EXPECT_EQ(app->Player()->Volume(), 255u);

    answerOpen(enginetest::writeSineWav("seek.wav", 4));
    c.btnOpenClick();
    ASSERT_TRUE(waitFor([&] { return app->Player()->Mode() == plmPlaying; }));
    const int w = f.imgProgress->width();
    ASSERT_GT(w, 0);
    c.imgProgressMouseUp(Qt::LeftButton, w / 2);
    EXPECT_NEAR(double(app->Player()->Position()), 2000.0, 150.0);
    EXPECT_TRUE(c.Timer_step.isActive());
    // The thumb dragged far right keeps its left edge on the bar's end.
    c.btnStepMouseDown(Qt::LeftButton, 2);
    c.btnStepMouseMove(5000);
    EXPECT_TRUE(c.Dragging());
    EXPECT_EQ(f.btnthumb->x(), f.imgProgress->x() + w);
    c.btnStepMouseUp();
    EXPECT_FALSE(c.Dragging());
}

TEST_F(MainApp, MuteShowsWhatThePlayerReports) {
    ASSERT_TRUE(app->FormCreate());
    TMainController& c = *app->Controller();
    c.btnMuteClick();
    c.btnMuteClick();  // during the first fade: the player keeps muting
    EXPECT_EQ(app->Form().btnMute->Pressed(), app->Player()->Muted());
    EXPECT_EQ(c.mnMute.isChecked(), app->Player()->Muted());
}

TEST_F(MainApp, PropertiesWithoutAStreamSaysSo) {
    ASSERT_TRUE(app->FormCreate());
    const std::size_t before = boxes->boxes().size();
    app->Controller()->Properties1Click();
    const auto all = boxes->boxes();
    ASSERT_EQ(all.size(), before + 1);
    EXPECT_EQ(all.back().text, "当前播放文件未指定");
    EXPECT_EQ(all.back().type & MB_ICONMASK, UINT(MB_ICONINFORMATION));
}

TEST_F(MainApp, PanelClicksChangeTheFormsMode) {
    ASSERT_TRUE(app->FormCreate());
    TMainController& c = *app->Controller();
    std::vector<int> seen{app->Form().VisMode};
    for (int i = 0; i < 5; ++i) {
        c.pVisClick();
        seen.push_back(app->Form().VisMode);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 0, 1}));
    EXPECT_EQ(app->Form().BarWidth, 1);
    c.pVisDblClick();
    EXPECT_EQ(app->Form().VisMode, 0);
    EXPECT_EQ(app->Form().BarWidth, 2);
}

TEST_F(MainApp, TheMenusExitShutsTheProgramDown) {
    ASSERT_TRUE(app->FormCreate());
    app->FormShow();
    ASSERT_NE(app->Menu(), nullptr);
    // Without a taskbar the menu opens at the floating strip's top-right corner.
    const QPoint corner = app->Form().mapToGlobal(QPoint(app->Form().width(), 0));
    EXPECT_EQ(app->Menu()->MenuPosition(), (TPoint{corner.x(), corner.y()}));
    app->Menu()->Close1->trigger();
    EXPECT_TRUE(app->Closed());
    EXPECT_EQ(calls, (std::vector<std::string>{"HookStart", "HookEnd", "done HookEnd", "done player"}));
}

namespace {

TEST_F(MainApp, TheVisWindowIsRememberedUntilThePluginEnds) {
    ASSERT_TRUE(app->FormCreate());
    TMainController& c = *app->Controller();
    int a = 0, b = 0;
    TVisPluginInfo info;
    info.VisWindow = &a;
    c.VisWindowShown(info);
    EXPECT_EQ(c.VisWindow(), &a);
    c.VisWindowShown(info);  // the same window again
    EXPECT_EQ(c.VisWindow(), &a);
    // The plug-in ended: a later start's window is remembered anew.
    info.VisWindow = nullptr;
    c.VisWindowShown(info);
    EXPECT_EQ(c.VisWindow(), nullptr);
    info.VisWindow = &b;
    c.VisWindowShown(info);
    EXPECT_EQ(c.VisWindow(), &b);
    // A second window while one is remembered: the plug-in is ended and both forgotten.
    info.VisWindow = &a;
    c.VisWindowShown(info);
    EXPECT_EQ(c.VisWindow(), nullptr);
}

TEST_F(MainApp, ThePanelStartsNoPluginWhileNothingPlays) {
    ASSERT_TRUE(app->FormCreate());
    const size_t boxesBefore = boxTexts().size();  // the start-up's warnings
    app->Controller()->pVisDblClick();
    app->Controller()->vis1Click();
    EXPECT_FALSE(app->Player()->VisActive());
    EXPECT_EQ(boxTexts().size(), boxesBefore);
}

}  // namespace
