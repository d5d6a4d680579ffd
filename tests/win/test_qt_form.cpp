// A Qt form with a window handle: geometry, visibility and messages through the layer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <future>

#include "platform/win/qt/QtFormWindow.h"

using namespace quillet::win;

namespace {
std::atomic<int> g_placements{0};

LRESULT formProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER) {  // the hook library asks the strip to place itself
        ++g_placements;
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}
}  // namespace

TEST(QtForm, AFormsHandleActsOnItsWidget) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto form = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    form->setWindowTitle("Quillet");
    form->setGeometry(40, 50, 160, 32);
    HWND hwnd = registerFormWindow(form.get(), "TFMain", formProc);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindow("TFMain", "Quillet"), hwnd);

    EXPECT_FALSE(IsWindowVisible(hwnd));
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(MoveWindow(hwnd, 100, 200, 180, 30, TRUE));
    EXPECT_EQ(form->geometry(), QRect(100, 200, 180, 30));
    form->move(120, 210);  // moved by Qt: the handle reads the widget
    RECT r{};
    ASSERT_TRUE(GetWindowRect(hwnd, &r));
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 210);
    EXPECT_EQ(r.right, 300);

    // Another thread reads the geometry and posts to the form while the UI thread pumps.
    auto other = std::async(std::launch::async, [hwnd] {
        RECT seen{};
        GetWindowRect(hwnd, &seen);
        PostMessage(hwnd, WM_USER, 0, 0);
        return seen.left;
    });
    while (other.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) ProcessMessages();
    EXPECT_EQ(other.get(), 120);
    ProcessMessages();
    EXPECT_EQ(g_placements.load(), 1);

    ShowWindow(hwnd, SW_HIDE);
    EXPECT_FALSE(form->isVisible());
    form.reset();
    EXPECT_FALSE(IsWindow(hwnd)) << "the handle goes with the form";
}
