// The program itself (quilletplay, a process of its own) on a desktop with a
// real panel: tint2 holding one XEmbed tray icon. Its window is found from
// outside, as any desktop tool finds it: by WM_CLASS class "Quillet" and the
// window role "mini".
#include <signal.h>

#include "DesktopTest.h"

using namespace quillet;
using quillet::test::Program;

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(5000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The window of class "Quillet" whose role is "mini" of the process pid,
// wherever it is in the window tree; XCB_NONE when there is none.
xcb_window_t findMini(qint64 pid) {
    const QStringList ids =
        run("xdotool", {"search", "--class", "^Quillet$"}).split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        const QString props = run("xprop", {"-id", id, "WM_WINDOW_ROLE", "_NET_WM_PID"});
        if (props.contains("WM_WINDOW_ROLE(STRING) = \"mini\"") &&
            props.contains("_NET_WM_PID(CARDINAL) = " + QString::number(pid) + "\n"))
            return id.toUInt();
    }
    return XCB_NONE;
}

// The program admits one running copy per session (its runtime folder and
// session bus): the copy started here gets a session of its own, with the
// same sound server, so a player running beside the test is not taken for it.
class OwnSession {
  public:
    OwnSession() {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER") && !runtime.isEmpty())
            qputenv("PULSE_SERVER", "unix:" + runtime + "/pulse/native");
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

  private:
    QTemporaryDir m_runtime;
};

TEST(Program, DocksBesideTheTrayFloatsWhenThePanelIsKilledAndDocksAgain) {
    const OwnSession session;
    auto x = test::testConnection();
    ASSERT_NE(x, nullptr);
    Program icon(test::helperPath("quillet-test-trayicon"), {});
    auto panel = std::make_unique<test::Tint2>(*x);
    test::readyWindow(icon);  // once a tray has taken it
    xcb_window_t panelId = XCB_NONE;
    std::optional<RECT> tray;
    const auto panelWithIcon = [&] {
        const auto t = desktop::FindTaskbar(*x, {});
        if (!t || t->byClass) return false;
        panelId = t->window;
        tray = desktop::TrayIconsBox(*x, panelId, {});
        return tray.has_value();
    };
    ASSERT_TRUE(test::waitFor(panelWithIcon, 10000));

    Program player(test::helperPath("quilletplay"), {});
    ASSERT_TRUE(player.started());
    const qint64 pid = player.pid();
    xcb_window_t mini = XCB_NONE;
    std::optional<RECT> r;
    const auto where = [&] {
        return "window " + std::to_string(mini) + " in " + std::to_string(x->parent(mini)) + " at " +
               (r ? std::to_string(r->left) + "," + std::to_string(r->top) + "-" + std::to_string(r->right) +
                        "," + std::to_string(r->bottom)
                  : "nowhere");
    };
    // Docked: a child of the panel, its right edge on the tray's left edge,
    // wholly inside the panel.
    const auto besideTray = [&] {
        mini = findMini(pid);
        r = x->rectOnScreen(mini);
        const auto p = x->rectOnScreen(panelId);
        return mini != XCB_NONE && x->parent(mini) == panelId && x->viewable(mini) && r && p &&
               r->right == tray->left && r->top == p->top && r->left >= p->left && r->bottom <= p->bottom;
    };
    ASSERT_TRUE(test::waitFor(besideTray, 15000)) << where() << "; tray at " << tray->left;

    // The panel is killed and takes its children along: the program runs on,
    // its strip floating at the screen's bottom-right corner.
    panel->kill();
    const auto floating = [&] {
        mini = findMini(pid);
        r = x->rectOnScreen(mini);
        return mini != XCB_NONE && x->parent(mini) == x->root() && x->viewable(mini) && r &&
               r->right == 1280 && r->bottom == 1024;
    };
    EXPECT_TRUE(test::waitFor(floating, 10000)) << where();
    EXPECT_TRUE(player.running());

    // A panel starts again: the strip docks again.
    panel = std::make_unique<test::Tint2>(*x);
    ASSERT_TRUE(test::waitFor(panelWithIcon, 10000));
    EXPECT_TRUE(test::waitFor(besideTray, 10000)) << where() << "; tray at " << tray->left;

    // SIGTERM ends it as the exit command does, with status 0; a second one
    // during the shutdown changes nothing.
    ASSERT_EQ(::kill(pid_t(pid), SIGTERM), 0);
    ::kill(pid_t(pid), SIGTERM);
    ASSERT_TRUE(player.finished(10000));
    EXPECT_EQ(player.exitCode(), 0);
    EXPECT_TRUE(test::waitFor([&] { return findMini(pid) == XCB_NONE; }, 3000));  // gone with the program
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
