// Posting, sending, retrieving and waiting: the thread-queue side of the layer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "TestWindows.h"

using namespace std::chrono_literals;
using namespace quillet::win;
using wintest::Recorder;

namespace {

std::vector<UINT> numbers(const std::vector<wintest::Received>& got) {
    std::vector<UINT> out;
    for (auto& r : got) out.push_back(r.msg);
    return out;
}

// Pumps the calling thread until nothing is pending.
void drain() {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) DispatchMessage(&msg);
}

}  // namespace

TEST(Messages, PostedMessagesComeInOrderAndTheQuitAfterThem) {
    Recorder::instance().reset();
    HWND a = wintest::makeWindow(), b = wintest::makeWindow();
    std::vector<UINT> threadMessages;
    PostMessage(a, WM_USER + 1, 0, 0);
    PostThreadMessage(GetCurrentThreadId(), WM_USER + 2, 0, 0);
    PostMessage(b, WM_USER + 3, 0, 0);
    PostQuitMessage(42);                // comes after what was posted before it...
    PostMessage(a, WM_USER + 4, 0, 0);  // ...and after what is posted later
    MSG msg;
    BOOL r;
    while ((r = GetMessage(&msg, nullptr, 0, 0)) > 0) {
        if (msg.hwnd == nullptr) threadMessages.push_back(msg.message);
        DispatchMessage(&msg);
    }
    EXPECT_EQ(r, FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 42u);
    EXPECT_EQ(numbers(Recorder::instance().received()),
              (std::vector<UINT>{WM_USER + 1, WM_USER + 3, WM_USER + 4}));
    EXPECT_EQ(threadMessages, std::vector<UINT>{WM_USER + 2});
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST(Messages, PostsFromManyThreadsKeepEachSendersOrder) {
    Recorder::instance().reset();
    HWND w = wintest::makeWindow();
    constexpr int kThreads = 4, kEach = 1000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([=] {
            for (int i = 0; i < kEach; ++i) {
                while (!PostMessage(w, WM_USER + t, static_cast<WPARAM>(i), 0)) std::this_thread::yield();
            }
        });
    }
    int got = 0;
    std::vector<int> next(kThreads, 0);
    MSG msg;
    while (got < kThreads * kEach && GetMessage(&msg, nullptr, 0, 0) > 0) {
        const int t = static_cast<int>(msg.message - WM_USER);
        ASSERT_EQ(msg.hwnd, w);
        ASSERT_EQ(static_cast<int>(msg.wParam), next[t]) << "thread " << t;
        ++next[t];
        ++got;
    }
    for (auto& p : posters) p.join();
    EXPECT_EQ(got, kThreads * kEach);
    DestroyWindow(w);
}

TEST(Messages, PeekMessageWithAndWithoutRemovalAndFilters) {
    Recorder::instance().reset();
    HWND a = wintest::makeWindow(), b = wintest::makeWindow();
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    PostMessage(a, WM_USER + 1, 11, 0);
    PostMessage(b, WM_USER + 2, 22, 0);
    PostThreadMessage(GetCurrentThreadId(), WM_USER + 3, 33, 0);

    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u) << "PM_NOREMOVE left it in place";

    ASSERT_TRUE(PeekMessage(&msg, b, 0, 0, PM_REMOVE));  // one window's messages
    EXPECT_EQ(msg.wParam, 22u);
    ASSERT_TRUE(PeekMessage(&msg, reinterpret_cast<HWND>(intptr_t{-1}), 0, 0, PM_REMOVE));  // thread messages
    EXPECT_EQ(msg.wParam, 33u);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, WM_USER + 5, WM_USER + 9, PM_REMOVE));  // range filter
    ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_USER, WM_USER + 1, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 11u);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));

    // A window of another thread is no filter.
    wintest::LoopThread other;
    EXPECT_FALSE(PeekMessage(&msg, other.hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessage(&msg, other.hwnd, 0, 0), -1);
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST(Messages, SendMessageAcrossThreadsRunsOnTheOwnerAndReturnsItsAnswer) {
    Recorder::instance().reset();
    wintest::LoopThread owner;
    Recorder::instance().on(WM_USER + 7,
                            [](HWND, WPARAM w, LPARAM l) { return static_cast<LRESULT>(w * 10 + l); });
    EXPECT_EQ(SendMessage(owner.hwnd, WM_USER + 7, 4, 2), 42);
    auto got = Recorder::instance().received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].threadId, owner.threadId);
    EXPECT_NE(got[0].threadId, GetCurrentThreadId());

    // On the owner thread itself SendMessage is a direct call.
    HWND mine = wintest::makeWindow();
    EXPECT_EQ(SendMessage(mine, WM_USER + 7, 1, 1), 11);
    EXPECT_EQ(Recorder::instance().received().back().threadId, GetCurrentThreadId());
    DestroyWindow(mine);
}

TEST(Messages, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    Recorder::instance().reset();
    // Each window's handler sends to the other window before answering, so every
    // SendMessage is answered only if the waiting sender handles incoming sends.
    std::atomic<HWND> windows[2] = {nullptr, nullptr};
    Recorder::instance().on(WM_USER + 1, [&](HWND self, WPARAM w, LPARAM) -> LRESULT {
        HWND peer = self == windows[0].load() ? windows[1].load() : windows[0].load();
        return SendMessage(peer, WM_USER + 2, w, 0) + 1;
    });
    Recorder::instance().on(WM_USER + 2, [](HWND, WPARAM w, LPARAM) { return static_cast<LRESULT>(w * 2); });
    constexpr int kRounds = 300;
    std::atomic<int> ready{0};
    std::atomic<long> sums[2] = {0, 0};
    auto run = [&](int me) {
        windows[me] = wintest::makeWindow();
        ++ready;
        while (ready.load() < 2) std::this_thread::yield();
        for (int i = 0; i < kRounds; ++i) sums[me] += SendMessage(windows[1 - me].load(), WM_USER + 1, i, 0);
        ++ready;
        // Keep answering the peer until it has finished too.
        while (ready.load() < 4) ProcessMessages();
        DestroyWindow(windows[me]);
    };
    auto done = std::async(std::launch::async, [&] {
        std::thread a(run, 0), b(run, 1);
        a.join();
        b.join();
    });
    ASSERT_EQ(done.wait_for(60s), std::future_status::ready) << "deadlock";
    const long expected = kRounds * (kRounds - 1) + kRounds;  // sum of (2i + 1)
    EXPECT_EQ(sums[0].load(), expected);
    EXPECT_EQ(sums[1].load(), expected);
}

TEST(Messages, SendToAThreadThatEndsReturnsZeroInsteadOfHanging) {
    std::promise<HWND> made;
    std::atomic<bool> release{false};
    std::thread owner([&] {
        made.set_value(wintest::makeWindow());
        while (!release) std::this_thread::sleep_for(1ms);  // never pumps
    });
    HWND w = made.get_future().get();
    std::thread ender([&] {
        std::this_thread::sleep_for(50ms);
        release = true;
    });
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(SendMessage(w, WM_USER + 1, 0, 0), 0);
    owner.join();
    ender.join();
    EXPECT_FALSE(IsWindow(w)) << "a thread's windows end with it";
    EXPECT_FALSE(PostMessage(w, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Messages, ThreadMessagesReachAWorkerWithItsOwnLoop) {
    std::promise<DWORD> started;
    std::vector<WPARAM> got;
    int closes = 0;
    std::thread worker([&] {
        started.set_value(EnsureThreadQueue());
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_USER + 114) got.push_back(msg.wParam);
            if (msg.message == WM_CLOSE) ++closes;
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    });
    const DWORD tid = started.get_future().get();
    for (WPARAM i = 0; i < 500; ++i) ASSERT_TRUE(PostThreadMessage(tid, WM_USER + 114, i, 0));
    ASSERT_TRUE(PostThreadMessage(tid, WM_CLOSE, 0, 0));
    ASSERT_TRUE(PostThreadMessage(tid, WM_QUIT, 0, 0));
    worker.join();
    ASSERT_EQ(got.size(), 500u);
    for (WPARAM i = 0; i < 500; ++i) EXPECT_EQ(got[i], i);
    EXPECT_EQ(closes, 1);
    // The thread has ended: its queue is gone.
    EXPECT_FALSE(PostThreadMessage(tid, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST(Messages, AFullQueueRefusesPostsAndSaysSoWithoutDroppingAny) {
    DWORD me = EnsureThreadQueue();
    for (int i = 0; i < MESSAGE_QUEUE_LIMIT; ++i) ASSERT_TRUE(PostThreadMessage(me, WM_USER, i, 0)) << i;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(PostThreadMessage(me, WM_USER, MESSAGE_QUEUE_LIMIT, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    HWND w = wintest::makeWindow();
    EXPECT_FALSE(PostMessage(w, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));

    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(PostThreadMessage(me, WM_USER, MESSAGE_QUEUE_LIMIT, 0)) << "room again after one was taken";
    WPARAM expect = 1;
    int count = 0;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ASSERT_EQ(msg.wParam, expect++);
        ++count;
    }
    EXPECT_EQ(count, MESSAGE_QUEUE_LIMIT);
    DestroyWindow(w);
}

TEST(Messages, ProcessMessagesStopsAtTheQuitAndTheOuterLoopStillEnds) {
    Recorder::instance().reset();
    HWND w = wintest::makeWindow();
    std::vector<UINT> handled;
    bool firstStopped = false, secondStopped = false;
    int depthInsideWait = -1;
    Recorder::instance().on(WM_USER + 1, [&](HWND self, WPARAM, LPARAM) -> LRESULT {
        handled.push_back(WM_USER + 1);
        // A wait that keeps processing messages, as the engine's waits do.
        firstStopped = ProcessMessages();
        EXPECT_TRUE(QuitRequested());
        secondStopped = ProcessMessages();  // later waits still handle other messages
        PostMessage(self, WM_USER + 9, 0, 0);
        return 0;
    });
    Recorder::instance().on(WM_USER + 2, [&](HWND self, WPARAM, LPARAM) -> LRESULT {
        handled.push_back(WM_USER + 2);
        depthInsideWait = MessageWaitDepth();
        PostMessage(self, WM_USER + 5, 0, 0);
        return 0;
    });
    Recorder::instance().on(WM_USER + 3, [&](HWND, WPARAM, LPARAM) -> LRESULT {
        handled.push_back(WM_USER + 3);
        return 0;
    });
    Recorder::instance().on(WM_USER + 5, [&](HWND, WPARAM, LPARAM) -> LRESULT {
        handled.push_back(WM_USER + 5);
        return 0;
    });
    PostMessage(w, WM_USER + 1, 0, 0);
    PostMessage(w, WM_USER + 2, 0, 0);
    PostThreadMessage(GetCurrentThreadId(), WM_QUIT, 7, 0);
    PostMessage(w, WM_USER + 3, 0, 0);

    EXPECT_EQ(RunMessageLoop(), 7);
    EXPECT_TRUE(firstStopped);
    EXPECT_TRUE(secondStopped);
    EXPECT_EQ(depthInsideWait, 1);
    EXPECT_FALSE(QuitRequested()) << "the loop consumed the quit";
    // The first wait handled 2 and stopped at the quit; the second handled 3 and 5; the
    // loop ended at once after the handler returned, before the message it posted.
    EXPECT_EQ(handled, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 5}));
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 9u);
    DestroyWindow(w);
}

TEST(Messages, ProcessMessagesHandlesOnlyWhatWasPendingWhenCalled) {
    Recorder::instance().reset();
    HWND w = wintest::makeWindow();
    int handled = 0;
    Recorder::instance().on(WM_USER + 1, [&](HWND self, WPARAM, LPARAM) -> LRESULT {
        ++handled;
        PostMessage(self, WM_USER + 1, 0, 0);  // a handler that keeps itself busy
        return 0;
    });
    PostMessage(w, WM_USER + 1, 0, 0);
    EXPECT_FALSE(ProcessMessages());
    EXPECT_EQ(handled, 1);
    EXPECT_FALSE(ProcessMessages());
    EXPECT_EQ(handled, 2);
    DestroyWindow(w);
    drain();
}

TEST(Messages, DestroyedWindowsLoseTheirMessages) {
    Recorder::instance().reset();
    int destroys = 0;
    Recorder::instance().on(WM_DESTROY, [&](HWND, WPARAM, LPARAM) -> LRESULT {
        ++destroys;
        return 0;
    });
    HWND w = wintest::makeWindow(), keep = wintest::makeWindow();
    ASSERT_TRUE(IsWindow(w));
    PostMessage(w, WM_USER + 1, 0, 0);
    PostMessage(keep, WM_USER + 2, 0, 0);
    PostMessage(w, WM_USER + 3, 0, 0);
    ASSERT_NE(SetTimer(w, 1, 10, nullptr), 0u);
    ASSERT_TRUE(DestroyWindow(w));
    EXPECT_EQ(destroys, 1);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(PostMessage(w, WM_USER + 4, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessage(w, WM_USER + 5, 0, 0), 0);
    EXPECT_FALSE(DestroyWindow(w));
    std::this_thread::sleep_for(30ms);
    MSG msg;
    std::vector<UINT> left;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) left.push_back(msg.message);
    EXPECT_EQ(left, std::vector<UINT>{WM_USER + 2}) << "no message and no timer of the destroyed window";
    DestroyWindow(keep);
    EXPECT_EQ(destroys, 2);
}

TEST(Messages, TimersTickUntilKilled) {
    Recorder::instance().reset();
    HWND w = wintest::makeWindow();
    ASSERT_NE(SetTimer(w, 5, 15, nullptr), 0u);
    static std::atomic<int> procTicks{0};
    procTicks = 0;
    UINT_PTR threadTimer = SetTimer(nullptr, 0, 15, [](HWND, UINT msg, UINT_PTR, DWORD) {
        if (msg == WM_TIMER) ++procTicks;
    });
    ASSERT_NE(threadTimer, 0u);
    int windowTicks = 0;
    const auto start = std::chrono::steady_clock::now();
    MSG msg;
    while ((windowTicks < 3 || procTicks < 3) && std::chrono::steady_clock::now() - start < 10s) {
        ASSERT_GT(GetMessage(&msg, nullptr, 0, 0), 0);
        if (msg.message == WM_TIMER && msg.hwnd == w) {
            EXPECT_EQ(msg.wParam, 5u);
            ++windowTicks;
        }
        DispatchMessage(&msg);
    }
    EXPECT_GE(windowTicks, 3);
    EXPECT_GE(procTicks.load(), 3);
    EXPECT_TRUE(KillTimer(w, 5));
    EXPECT_TRUE(KillTimer(nullptr, threadTimer));
    EXPECT_FALSE(KillTimer(w, 5));
    EXPECT_FALSE(NextTimerDue().has_value());
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) << "a killed timer stays quiet";

    // Timers belong to the window's thread.
    wintest::LoopThread other;
    EXPECT_EQ(SetTimer(other.hwnd, 1, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    DestroyWindow(w);
}

TEST(Messages, ErrorCodesArePerThread) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    DWORD seen = 1;
    std::thread([&] { seen = GetLastError(); }).join();
    EXPECT_EQ(seen, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
}

TEST(Messages, SendMessageTimeoutGivesUpOnAThreadThatDoesNotPump) {
    Recorder::instance().reset();
    std::promise<HWND> made;
    std::atomic<bool> pump{false};
    std::thread owner([&] {
        made.set_value(wintest::makeWindow());
        while (!pump) std::this_thread::sleep_for(1ms);
        ProcessMessages();  // handles the late message; its answer goes nowhere
    });
    HWND w = made.get_future().get();
    Recorder::instance().on(WM_USER + 1, [](HWND, WPARAM, LPARAM) -> LRESULT { return 5; });
    LRESULT answer = -1;
    EXPECT_FALSE(SendMessageTimeout(w, WM_USER + 1, 0, 0, SMTO_NORMAL, 30, &answer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(answer, 0);
    pump = true;
    owner.join();
    EXPECT_EQ(Recorder::instance().received().size(), 1u);

    HWND mine = wintest::makeWindow();
    EXPECT_TRUE(SendMessageTimeout(mine, WM_USER + 1, 0, 0, SMTO_NORMAL, 30, &answer));
    EXPECT_EQ(answer, 5);
    DestroyWindow(mine);
}

namespace {
// Voluntary context switches of one thread of this process: each wake-up of a
// blocked thread counts one.
long wakeUps(DWORD tid) {
    std::FILE* f = std::fopen(("/proc/self/task/" + std::to_string(tid) + "/status").c_str(), "r");
    if (!f) return -1;
    char line[256];
    long n = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &n) == 1) break;
    }
    std::fclose(f);
    return n;
}
}  // namespace

TEST(Messages, AThreadWithoutTimersSleepsUntilAMessageComes) {
    std::promise<DWORD> idle;
    std::thread worker([&] {
        HWND w = wintest::makeWindow();
        SetTimer(w, 1, 10, nullptr);
        MSG msg;
        for (int ticks = 0; ticks < 2 && GetMessage(&msg, nullptr, 0, 0) > 0;)
            ticks += msg.message == WM_TIMER;
        KillTimer(w, 1);
        idle.set_value(GetCurrentThreadId());
        while (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
        DestroyWindow(w);
    });
    const DWORD tid = idle.get_future().get();
    std::this_thread::sleep_for(50ms);  // let it block
    const long before = wakeUps(tid);
    std::this_thread::sleep_for(300ms);
    const long after = wakeUps(tid);
    PostThreadMessage(tid, WM_QUIT, 0, 0);
    worker.join();
    ASSERT_GE(before, 0);
    EXPECT_EQ(after, before) << "a killed timer must not wake the thread";
}
