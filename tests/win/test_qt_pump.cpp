// The layer's queue pumped by a Qt event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "TestWindows.h"
#include "platform/win/qt/QtMessagePump.h"

using namespace std::chrono_literals;
using namespace quillet::win;
using wintest::Recorder;

namespace {

struct App {
    int argc = 1;
    char name[8] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QtMessagePump pump;
    App() {
        // A loop that ends by itself would mean the quit never arrived.
        QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(-99); });
    }
};

}  // namespace

TEST(QtPump, PostsFromAWorkerAreDispatchedOnTheQtThreadInOrder) {
    Recorder::instance().reset();
    App a;
    HWND w = wintest::makeWindow();
    constexpr int kCount = 2000;
    int next = 0;
    bool ordered = true;
    Recorder::instance().on(WM_USER + 1, [&](HWND, WPARAM i, LPARAM) -> LRESULT {
        ordered = ordered && static_cast<int>(i) == next;
        if (++next == kCount) PostQuitMessage(3);
        return 0;
    });
    LRESULT sent = 0;
    Recorder::instance().on(WM_USER + 2, [](HWND, WPARAM, LPARAM) -> LRESULT { return 9; });
    std::thread worker([&] {
        sent = SendMessage(w, WM_USER + 2, 0, 0);  // handled while exec() runs
        for (int i = 0; i < kCount; ++i) {
            while (!PostMessage(w, WM_USER + 1, i, 0)) std::this_thread::yield();
        }
    });
    EXPECT_EQ(a.app.exec(), 3);
    worker.join();
    EXPECT_EQ(next, kCount);
    EXPECT_TRUE(ordered);
    EXPECT_EQ(sent, 9);
    for (auto& r : Recorder::instance().received()) ASSERT_EQ(r.threadId, GetCurrentThreadId());
    DestroyWindow(w);
}

TEST(QtPump, TimersFireOnTheQtLoopAndStopWhenKilled) {
    Recorder::instance().reset();
    App a;
    HWND w = wintest::makeWindow();
    int ticks = 0;
    Recorder::instance().on(WM_TIMER, [&](HWND self, WPARAM id, LPARAM) -> LRESULT {
        EXPECT_EQ(id, 7u);
        if (++ticks == 3) {
            KillTimer(self, 7);
            // Quit a little later, so a timer that kept ticking would be seen.
            QTimer::singleShot(80, [] { PostQuitMessage(0); });
        }
        return 0;
    });
    ASSERT_NE(SetTimer(w, 7, 15, nullptr), 0u);
    EXPECT_EQ(a.app.exec(), 0);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(NextTimerDue().has_value());
    DestroyWindow(w);
}

TEST(QtPump, ProcessMessagesRunsQtEventsAndAQuitMetInAWaitEndsTheLoopAfterIt) {
    Recorder::instance().reset();
    App a;
    HWND w = wintest::makeWindow();
    bool qtEventRan = false, waitStopped = false, afterWait = false, laterMessage = false;
    Recorder::instance().on(WM_USER + 1, [&](HWND self, WPARAM, LPARAM) -> LRESULT {
        QMetaObject::invokeMethod(
            &a.app, [&] { qtEventRan = true; }, Qt::QueuedConnection);
        ProcessMessages();
        EXPECT_TRUE(qtEventRan) << "the wait processed Qt's events";
        PostThreadMessage(GetCurrentThreadId(), WM_QUIT, 5, 0);
        PostMessage(self, WM_USER + 2, 0, 0);
        waitStopped = ProcessMessages();
        afterWait = true;  // the handler still runs to its end
        return 0;
    });
    Recorder::instance().on(WM_USER + 2, [&](HWND, WPARAM, LPARAM) -> LRESULT {
        laterMessage = true;
        return 0;
    });
    PostMessage(w, WM_USER + 1, 0, 0);
    EXPECT_EQ(a.app.exec(), 5);
    EXPECT_TRUE(waitStopped);
    EXPECT_TRUE(afterWait);
    EXPECT_FALSE(laterMessage) << "the loop ended at the quit";
    DestroyWindow(w);
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}
