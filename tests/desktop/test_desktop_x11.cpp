// platform/desktop against a real X server: windows by class, the stand-in
// taskbar's geometry, reparenting a Qt strip into it and back.
#include <QWidget>

#include "DesktopTest.h"
#include "platform/desktop/Desktop.h"

using namespace quillet;
using namespace quillet::desktop;
using quillet::test::Program;

namespace {

// A 1280 x 30 taskbar along the bottom edge whose notification area ends at x = 1100.
QStringList bottomTaskbar() {
    return {"0", "994", "1280", "30", "1000", "2", "100", "26"};
}

struct Strip {
    Strip() {
        widget.resize(175, 32);
        widget.setStyleSheet("background: #306090");
    }
    QWidget widget;
};

TEST(DesktopFind, StandInTaskbarAndItsNotificationArea) {
    auto d = Desktop::create();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->FindWindow("Shell_TrayWnd", nullptr), nullptr);
    Program bar(test::helperPath("quillet-test-taskbar"), bottomTaskbar());
    const xcb_window_t barId = test::readyWindow(bar);
    HWND tb = d->FindWindow("Shell_TrayWnd", nullptr);
    ASSERT_NE(tb, nullptr);
    EXPECT_EQ(d->FindWindow("Shell_TrayWnd", nullptr), tb);
    EXPECT_EQ(win::FindForeignWindow(barId), tb);
    RECT r{};
    ASSERT_TRUE(d->GetWindowRect(tb, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 994);
    EXPECT_EQ(r.right, 1280);
    EXPECT_EQ(r.bottom, 1024);
    HWND notify = d->FindWindowEx(tb, nullptr, "TrayNotifyWnd", nullptr);
    ASSERT_NE(notify, nullptr);
    ASSERT_TRUE(d->GetWindowRect(notify, &r));
    EXPECT_EQ(r.left, 1000);
    EXPECT_EQ(r.top, 996);
    EXPECT_EQ(r.right, 1100);
    EXPECT_EQ(r.bottom, 1022);
    EXPECT_EQ(d->FindWindowEx(tb, nullptr, "NoSuchClass", nullptr), nullptr);

    bar.kill();
    EXPECT_TRUE(test::waitFor([&] { return !d->GetWindowRect(tb, &r); }));
    EXPECT_EQ(d->FindWindow("Shell_TrayWnd", nullptr), nullptr);
    EXPECT_FALSE(IsWindow(tb));
}

TEST(DesktopDock, StripReparentedIntoTheTaskbarAndBack) {
    auto d = Desktop::create();
    ASSERT_NE(d, nullptr);
    auto x = test::testConnection();
    Program bar(test::helperPath("quillet-test-taskbar"), bottomTaskbar());
    const xcb_window_t barId = test::readyWindow(bar);
    Strip s;
    d->prepareStrip(&s.widget);
    d->setStrip(&s.widget);
    s.widget.move(100, 100);
    s.widget.show();
    ASSERT_TRUE(test::waitFor([&] { return x->viewable(s.widget.winId()); }));

    HWND tb = d->FindWindow("Shell_TrayWnd", nullptr);
    ASSERT_NE(tb, nullptr);
    EXPECT_EQ(d->SetParent(&s.widget, tb), nullptr);
    EXPECT_EQ(d->GetParent(&s.widget), tb);
    ASSERT_TRUE(d->SetWindowPos(&s.widget, 1101, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW));
    const auto id = static_cast<xcb_window_t>(s.widget.winId());
    ASSERT_TRUE(test::waitFor([&] {
        auto r = x->rectOnScreen(id);
        return x->parent(id) == barId && r && r->left == 1101 && r->top == 994;
    })) << x->rectOnScreen(id)->left
        << "," << x->rectOnScreen(id)->top;
    RECT r{};
    ASSERT_TRUE(d->GetWindowRect(&s.widget, &r));
    EXPECT_EQ(r.left, 1101);
    EXPECT_EQ(r.right, 1101 + 175);
    EXPECT_TRUE(x->viewable(id));

    EXPECT_EQ(d->SetParent(&s.widget, nullptr), tb);
    EXPECT_EQ(x->parent(id), x->root());
    EXPECT_EQ(d->GetParent(&s.widget), nullptr);
}

TEST(DesktopDock, StripSurvivesTheTaskbarExiting) {
    auto d = Desktop::create();
    ASSERT_NE(d, nullptr);
    auto x = test::testConnection();
    Strip s;
    d->prepareStrip(&s.widget);
    d->setStrip(&s.widget);
    s.widget.show();
    {
        Program bar(test::helperPath("quillet-test-taskbar"), bottomTaskbar());
        test::readyWindow(bar);
        HWND tb = d->FindWindow("Shell_TrayWnd", nullptr);
        ASSERT_NE(tb, nullptr);
        d->SetParent(&s.widget, tb);
        d->SetWindowPos(&s.widget, 1101, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        bar.kill();  // its windows go, ours with them
    }
    const auto dead = static_cast<xcb_window_t>(s.widget.winId());
    ASSERT_TRUE(test::waitFor([&] { return !x->exists(dead); }));
    EXPECT_EQ(d->GetParent(&s.widget), nullptr);
    EXPECT_EQ(d->SetParent(&s.widget, nullptr), nullptr);
    d->SetWindowPos(&s.widget, 500, 600, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    const auto id = static_cast<xcb_window_t>(s.widget.winId());
    EXPECT_NE(id, dead);
    ASSERT_TRUE(test::waitFor([&] {
        auto r = x->rectOnScreen(id);
        return x->viewable(id) && r && r->left == 500 && r->top == 600;
    }));
    EXPECT_EQ(x->parent(id), x->root());

    // Docks again into a new taskbar.
    Program bar(test::helperPath("quillet-test-taskbar"), bottomTaskbar());
    const xcb_window_t barId = test::readyWindow(bar);
    HWND tb = d->FindWindow("Shell_TrayWnd", nullptr);
    ASSERT_NE(tb, nullptr);
    d->SetParent(&s.widget, tb);
    d->SetWindowPos(&s.widget, 1101, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    EXPECT_TRUE(test::waitFor([&] { return x->parent(id) == barId && x->viewable(id); }));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
