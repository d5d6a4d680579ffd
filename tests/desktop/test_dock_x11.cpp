// The mini window docking when the hook library tells it to: a stand-in
// taskbar placed as the program expects to the pixel, no taskbar, and a
// taskbar that exits and comes back. Real X server, real hook library, real
// message queue pumped by Qt.
#include <QWidget>
#include <atomic>

#include "DesktopTest.h"
#include "platform/desktop/Desktop.h"
#include "platform/hook/Hook.h"
#include "platform/win/qt/QtFormWindow.h"
#include "platform/win/qt/QtMessagePump.h"
#include "shell/TaskbarDock.h"

using namespace quillet;
using quillet::test::Program;

namespace {

// The mini window's procedure is a plain function: it reaches the test through these.
std::atomic<int> g_placements{0};  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
TTaskbarDock* g_dock = nullptr;    // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

LRESULT miniProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER) {
        ++g_placements;
        if (g_dock) g_dock->setPlayerpos();
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

class Dock : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop = desktop::Desktop::create();
        ASSERT_NE(desktop, nullptr);
        x = test::testConnection();
        ASSERT_NE(x, nullptr);
        mini.resize(175, 32);
        mini.setStyleSheet("background: #306090");
        playlist.resize(420, 300);
        dock = std::make_unique<TTaskbarDock>(desktop.get(), &mini, &playlist);
        g_dock = dock.get();
        g_placements = 0;
        hwnd = win::registerFormWindow(&mini, "TFMain", miniProc);
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override {
        HookEnd();
        g_dock = nullptr;
    }

    xcb_window_t miniId() { return static_cast<xcb_window_t>(mini.winId()); }
    // The strip is a mapped child of parent at (x, y) on the screen.
    bool stripAt(xcb_window_t parent, int left, int top) {
        const auto r = x->rectOnScreen(miniId());
        return x->parent(miniId()) == parent && x->viewable(miniId()) && r && r->left == left &&
               r->top == top;
    }
    std::string where() {
        const auto r = x->rectOnScreen(miniId());
        return "parent " + std::to_string(x->parent(miniId())) + " at " +
               (r ? std::to_string(r->left) + "," + std::to_string(r->top) : "nowhere");
    }
    bool placedAfter(int count) {
        return test::waitFor([&] { return g_placements >= count; });
    }

    std::unique_ptr<desktop::Desktop> desktop;
    std::unique_ptr<desktop::XConnection> x;
    QWidget mini;
    QWidget playlist;
    std::unique_ptr<TTaskbarDock> dock;
    HWND hwnd = nullptr;
};

TEST_F(Dock, HorizontalTaskbarRightOfTheNotificationArea) {
    Program bar(test::helperPath("quillet-test-taskbar"),
                {"0", "994", "1280", "30", "1000", "2", "100", "26"});
    const xcb_window_t barId = test::readyWindow(bar);
    ASSERT_TRUE(HookStart(hwnd, 1, 175, 32));
    ASSERT_TRUE(placedAfter(1));
    ASSERT_TRUE(test::waitFor([&] { return stripAt(barId, 1101, 994); })) << where();
    EXPECT_TRUE(
        test::waitFor([&] { return mini.geometry().topLeft() == QPoint(1101, 0); }));  // in the taskbar
    EXPECT_TRUE(dock->docked());
    EXPECT_TRUE(test::waitFor([&] { return test::screenPixel(*x, 1110, 1000) == 0x306090; }));  // drawn
    EXPECT_EQ(test::screenPixel(*x, 1099, 1000), 0xffffffu);  // the notification area stays visible
    EXPECT_EQ(playlist.pos().y(), 694);
    EXPECT_EQ(playlist.pos().x() + 420, 1101 + 175);

    // Placing itself inside the taskbar is no change of the taskbar: no message.
    test::settle(400);
    EXPECT_EQ(g_placements, 1);

    // Told again with nothing changed: the same places.
    playlist.move(10, 10);
    PostMessage(hwnd, WM_USER, 0, 0);
    ASSERT_TRUE(placedAfter(2));
    EXPECT_TRUE(stripAt(barId, 1101, 994)) << where();
    EXPECT_EQ(playlist.pos(), QPoint(856, 694));

    // The context menu opens at the strip's top-right corner on the screen.
    EXPECT_EQ(dock->contextMenuPosition(), (TPoint{1276, 994}));
}

TEST_F(Dock, VerticalTaskbarBelowTheNotificationArea) {
    Program bar(test::helperPath("quillet-test-taskbar"),
                {"1220", "0", "60", "1024", "2", "800", "56", "100"});
    const xcb_window_t barId = test::readyWindow(bar);
    ASSERT_TRUE(HookStart(hwnd, 1, 175, 32));
    ASSERT_TRUE(placedAfter(1));
    ASSERT_TRUE(test::waitFor([&] { return stripAt(barId, 1220, 901); })) << where();
    EXPECT_TRUE(test::waitFor([&] { return mini.geometry().topLeft() == QPoint(0, 901); }));
    EXPECT_EQ(playlist.pos(), QPoint(799, 724));
}

TEST_F(Dock, NewWidthPlacesAgainAndNothingComesAfterHookEnd) {
    Program bar(test::helperPath("quillet-test-taskbar"),
                {"0", "994", "1280", "30", "1000", "2", "100", "26"});
    test::readyWindow(bar);
    ASSERT_TRUE(HookStart(hwnd, 1, 175, 32));
    ASSERT_TRUE(placedAfter(1));
    mini.resize(200, 32);
    EXPECT_TRUE(HookChangeSize(200, 0));
    ASSERT_TRUE(placedAfter(2));
    EXPECT_EQ(playlist.pos().x() + 420, 1101 + 200);

    EXPECT_TRUE(HookEnd());
    EXPECT_FALSE(HookChangeSize(180, 0));
    Program other(test::helperPath("quillet-test-taskbar"),
                  {"0", "0", "1280", "30", "500", "2", "100", "26"});
    test::readyWindow(other);
    bar.kill();
    test::settle(500);
    EXPECT_EQ(g_placements, 2);
}

TEST_F(Dock, NoTaskbarOneMessageAndAFloatingStrip) {
    // The first message comes soon after the start whatever the desktop holds
    // (a panel may have gone since the strip placed itself); no more follow
    // while there is no taskbar.
    ASSERT_TRUE(HookStart(hwnd, 1, 175, 32));
    test::settle(600);
    EXPECT_EQ(g_placements, 1);
    HookChangeSize(180, 0);
    test::settle(300);
    EXPECT_EQ(g_placements, 1);

    dock->setPlayerpos();  // placed anyway: floats instead of closing
    EXPECT_FALSE(dock->docked());
    ASSERT_TRUE(test::waitFor([&] { return stripAt(x->root(), 1280 - 175, 1024 - 32); })) << where();
    EXPECT_EQ(playlist.pos(), QPoint(1280 - 420, 1024 - 32 - 300));

    // Out of the task list and the pager, a utility window, never a dock.
    const auto states = x->cardinals(miniId(), x->atom("_NET_WM_STATE"));
    for (const char* s : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_ABOVE"})
        EXPECT_NE(std::find(states.begin(), states.end(), x->atom(s)), states.end()) << s;
    const auto types = x->cardinals(miniId(), x->atom("_NET_WM_WINDOW_TYPE"));
    EXPECT_NE(std::find(types.begin(), types.end(), x->atom("_NET_WM_WINDOW_TYPE_UTILITY")), types.end());
    EXPECT_EQ(std::find(types.begin(), types.end(), x->atom("_NET_WM_WINDOW_TYPE_DOCK")), types.end());
}

TEST_F(Dock, FloatingStripIsDraggedByItsBackgroundAndStaysThere) {
    dock->setPlayerpos();
    ASSERT_TRUE(test::waitFor([&] { return stripAt(x->root(), 1105, 992); })) << where();
    Program drag("xdotool", {"mousemove", "1150", "1000",      "sleep", "0.2", "mousedown", "1",
                             "sleep",     "0.2",  "mousemove", "1100",  "950", "sleep",     "0.2",
                             "mousemove", "1000", "900",       "sleep", "0.2", "mouseup",   "1"});
    ASSERT_TRUE(drag.started());
    // The button must come up before the test ends, or the next press is lost.
    ASSERT_TRUE(drag.finished());
    EXPECT_TRUE(test::waitFor([&] { return stripAt(x->root(), 955, 892); }, 8000)) << where();
    dock->setPlayerpos();  // still no taskbar: it stays where the user put it
    test::settle(100);
    EXPECT_TRUE(stripAt(x->root(), 955, 892)) << where();
}

TEST_F(Dock, TaskbarThatExitsLeavesAFloatingStripThatDocksAgain) {
    ASSERT_TRUE(HookStart(hwnd, 1, 175, 32));
    {
        Program bar(test::helperPath("quillet-test-taskbar"),
                    {"0", "994", "1280", "30", "1000", "2", "100", "26"});
        const xcb_window_t barId = test::readyWindow(bar);
        ASSERT_TRUE(placedAfter(1));
        ASSERT_TRUE(test::waitFor([&] { return stripAt(barId, 1101, 994); })) << where();
        bar.kill();
    }
    ASSERT_TRUE(placedAfter(2));
    ASSERT_TRUE(test::waitFor([&] { return stripAt(x->root(), 1105, 992); })) << where();
    EXPECT_FALSE(dock->docked());
    EXPECT_TRUE(mini.isVisible());
    // Its new window is drawn.
    EXPECT_TRUE(test::waitFor([&] { return test::screenPixel(*x, 1110, 1000) == 0x306090; }))
        << std::hex << test::screenPixel(*x, 1110, 1000);

    Program bar(test::helperPath("quillet-test-taskbar"),
                {"0", "994", "1280", "30", "900", "2", "100", "26"});
    const xcb_window_t barId = test::readyWindow(bar);
    ASSERT_TRUE(placedAfter(3));
    EXPECT_TRUE(test::waitFor([&] { return stripAt(barId, 1001, 994); })) << where();
}

TEST_F(Dock, RealPanelTakesTheStripLeftOfItsTrayUntilItIsKilled) {
    Program icon(test::helperPath("quillet-test-trayicon"), {});
    auto panel = std::make_unique<test::Tint2>(*x);
    test::readyWindow(icon);
    // The panel and its tray as the desktop shows them.
    xcb_window_t panelId = XCB_NONE;
    std::optional<RECT> tray;
    auto panelWithIcon = [&] {
        const auto t = desktop::FindTaskbar(*x, {});
        if (!t || t->byClass) return false;
        panelId = t->window;
        tray = desktop::TrayIconsBox(*x, panelId, {});
        return tray.has_value();
    };
    ASSERT_TRUE(test::waitFor(panelWithIcon, 10000));
    // Docked in the panel, its right edge on the tray's left edge, wholly inside.
    auto besideTray = [&] {
        const auto r = x->rectOnScreen(miniId());
        const auto p = x->rectOnScreen(panelId);
        return x->parent(miniId()) == panelId && x->viewable(miniId()) && r && p && r->right == tray->left &&
               r->top == p->top && r->left >= p->left && r->bottom <= p->bottom;
    };

    ASSERT_TRUE(HookStart(hwnd, 1, 175, 32));
    ASSERT_TRUE(test::waitFor(besideTray)) << where() << " tray at " << tray->left;
    EXPECT_TRUE(dock->docked());
    EXPECT_EQ(x->rectOnScreen(miniId())->left, 1215 - 175);

    // The panel is killed: its windows go, ours with them; the strip floats.
    const int before = g_placements;
    panel->kill();
    ASSERT_TRUE(placedAfter(before + 1));
    ASSERT_TRUE(test::waitFor([&] { return stripAt(x->root(), 1105, 992); })) << where();
    EXPECT_FALSE(dock->docked());
    EXPECT_TRUE(mini.isVisible());

    // A panel starts again: the strip docks again beside the tray.
    panel = std::make_unique<test::Tint2>(*x);
    ASSERT_TRUE(test::waitFor(panelWithIcon, 10000));
    EXPECT_TRUE(test::waitFor(besideTray)) << where() << " tray at " << tray->left;
}

TEST_F(Dock, RealPanelWithoutTrayIconsTakesTheStripAtItsRightEnd) {
    test::Tint2 panel(*x);
    xcb_window_t panelId = XCB_NONE;
    ASSERT_TRUE(test::waitFor(
        [&] {
            const auto t = desktop::FindTaskbar(*x, {});
            panelId = t && !t->byClass ? t->window : XCB_NONE;
            return panelId != XCB_NONE;
        },
        10000));
    EXPECT_FALSE(desktop::TrayIconsBox(*x, panelId, {}).has_value());
    ASSERT_TRUE(HookStart(hwnd, 1, 175, 32));
    EXPECT_TRUE(test::waitFor([&] { return stripAt(panelId, 1280 - 175, 1024 - 32); })) << where();
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    win::QtMessagePump pump;
    return RUN_ALL_TESTS();
}
