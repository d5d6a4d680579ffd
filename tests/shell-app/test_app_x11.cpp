// The mini window docked in a stand-in taskbar on a real X server, the player
// on the no-sound device: the information balloon as the mouse rests on the
// strip, the mute button under a quick double click, and message boxes that
// the docked strip owns.
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "AppOnDisplay.h"
#include "tests/engine/EngineTest.h"

namespace {

using quillet::test::settle;
using quillet::test::waitFor;

// A bottom taskbar whose notification area ends at x = 500: the strip docks
// at (501, 994), far enough from the screen's right edge for the balloon.
class AppDocked : public apptest::AppOnDisplay {
  protected:
    void SetUp() override {
        AppOnDisplay::SetUp();
        if (HasFatalFailure()) return;
        bar = std::make_unique<quillet::test::Program>(
            quillet::test::helperPath("quillet-test-taskbar"),
            QStringList{"0", "994", "1280", "30", "400", "2", "100", "26"});
        barId = quillet::test::readyWindow(*bar);
        start();
        ASSERT_TRUE(waitFor([&] { return x->parent(miniId()) == barId && miniOnScreen().left == 501; }))
            << miniOnScreen().left;
    }
    void TearDown() override {
        AppOnDisplay::TearDown();
        bar.reset();
    }
    void play(const char* name, double seconds) {
        answerOpen(enginetest::writeSineWav(name, seconds));
        app->Controller()->btnOpenClick();
        ASSERT_TRUE(waitMode(plmPlaying));
    }
    bool balloonShown() { return app->Controller()->Balloon()->isVisible(); }

    std::unique_ptr<quillet::test::Program> bar;
    xcb_window_t barId = XCB_NONE;
};

TEST_F(AppDocked, BalloonOncePerStayWhilePlayingOrPausedNeverWhileStopped) {
    TMainController& c = *app->Controller();
    TFMain& f = app->Form();
    const QPoint rest = centreOf(f.pVis);

    // Stopped: the mouse rests on the strip, no balloon.
    ASSERT_TRUE(moveTo(rest));
    EXPECT_TRUE(waitFor([&] { return c.Timer1.isActive(); }, 2000));
    settle(1200);
    EXPECT_FALSE(balloonShown());
    EXPECT_FALSE(c.BalloonShown);

    // Playing, the mouse resting: shown, once.
    play("balloon.wav", 30);
    ASSERT_TRUE(waitFor([&] { return balloonShown(); }, 2000));
    const QString text = c.Balloon()->Text();
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("当前播放\n标题    ：")));
    EXPECT_TRUE(
        text.contains(QString::fromUtf8("文件路径：") + QString::fromStdString(app->Player()->StreamName())));
    for (const char* label : {"专辑    ：", "艺术家  ：", "备注    ："})
        EXPECT_TRUE(text.contains(QString::fromUtf8(label))) << label;

    // It points at the strip's left edge on the screen, at the screen's
    // height less the strip's; too low to hang below that point, it stands
    // above it, off the strip.
    const RECT strip = miniOnScreen();
    const QRect b = c.Balloon()->frameGeometry();
    EXPECT_EQ(b.left(), 501);
    EXPECT_EQ(b.bottom() + 1, 1024 - f.height());
    EXPECT_LE(b.bottom() + 1, int(strip.top));

    // It closes itself after six seconds and stays closed while the mouse stays.
    settle(5000);
    EXPECT_TRUE(balloonShown());
    EXPECT_TRUE(waitFor([&] { return !balloonShown(); }, 2000));
    settle(1000);
    EXPECT_FALSE(balloonShown());
    EXPECT_TRUE(c.BalloonShown);

    // The mouse leaves: the watch ends. Back on the strip while paused: shown again.
    ASSERT_TRUE(moveTo({200, 200}));
    ASSERT_TRUE(waitFor([&] { return !c.Timer1.isActive(); }, 2000));
    EXPECT_FALSE(c.BalloonShown);
    c.btnPauseClick();
    ASSERT_TRUE(waitMode(plmPaused));
    ASSERT_TRUE(moveTo(rest + QPoint(3, 1)));
    EXPECT_TRUE(waitFor([&] { return balloonShown(); }, 3000));

    // Leaving closes it at once; stopped, it does not come back.
    ASSERT_TRUE(moveTo({200, 200}));
    EXPECT_TRUE(waitFor([&] { return !balloonShown(); }, 2000));
    c.btnStopClick();
    ASSERT_TRUE(waitMode(plmStopped));
    ASSERT_TRUE(moveTo(rest));
    settle(1500);
    EXPECT_FALSE(balloonShown());
}

TEST_F(AppDocked, QuickDoubleClickOnMuteShowsWhatThePlayerDoes) {
    TMainController& c = *app->Controller();
    TFMain& f = app->Form();
    play("mute.wav", 30);
    const QPoint at = centreOf(f.btnMute);
    // The second click comes during the first one's fade, which the player
    // lets finish: the sound stays off and the button says so.
    ASSERT_TRUE(xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "sleep", "0.1",
                         "click", "--repeat", "2", "--delay", "80", "1"}));
    EXPECT_TRUE(app->Player()->Muted());
    EXPECT_TRUE(f.btnMute->Pressed());
    EXPECT_TRUE(c.mnMute.isChecked());
    // Once the fade is over, a click unmutes.
    ASSERT_TRUE(waitFor([&] { return !app->Player()->Fading(); }, 4000));
    ASSERT_TRUE(click(f.btnMute));
    EXPECT_FALSE(app->Player()->Muted());
    EXPECT_FALSE(f.btnMute->Pressed());
    EXPECT_FALSE(c.mnMute.isChecked());
}

TEST_F(AppDocked, MessageBoxOfTheDockedStripIsTopLevelAndCentredOnTheScreen) {
    quillet::win::setMessageBoxPresenter(std::make_shared<TQtMessageBoxPresenter>());
    std::optional<RECT> seen;
    xcb_window_t seenParent = XCB_NONE;
    QString seenText;
    QTimer probe;
    probe.setInterval(50);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        const auto id = static_cast<xcb_window_t>(box->winId());
        if (!x->viewable(id)) return;
        seen = x->rectOnScreen(id);
        seenParent = x->parent(id);
        seenText = box->text();
        box->close();
    });
    probe.start();
    app->Controller()->Properties1Click();  // no stream: says so, owned by the strip
    probe.stop();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seenText, QString::fromUtf8("当前播放文件未指定"));
    EXPECT_EQ(seenParent, x->root());
    const QPoint centre((seen->left + seen->right) / 2, (seen->top + seen->bottom) / 2);
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 4) << centre.x() << "," << centre.y();
}

}  // namespace
