// Message-layer figures: post + dispatch throughput on one thread and across threads,
// cross-thread SendMessage round trips, and the latency from PostMessage on a worker
// to dispatch on a Qt event loop (median and 99th percentile).
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/win/MessageLayer.h"
#include "platform/win/qt/QtMessagePump.h"

using namespace quillet::win;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<long> g_handled{0};
std::vector<double> g_latencyUs;

LRESULT countProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_USER) {
        g_handled.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    if (m == WM_USER + 1) return static_cast<LRESULT>(w) + 1;
    if (m == WM_USER + 2) {
        const auto sent = Clock::time_point(Clock::duration(l));
        g_latencyUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        if (w == 1) PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(h, m, w, l);
}

HWND makeWindow() {
    return CreateWindow("BenchCounter", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void oneThread() {
    HWND w = makeWindow();
    constexpr long kTotal = 2'000'000, kBatch = 5000;
    g_handled = 0;
    const auto start = Clock::now();
    MSG msg;
    for (long done = 0; done < kTotal; done += kBatch) {
        for (long i = 0; i < kBatch; ++i) PostMessage(w, WM_USER, 0, 0);
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    }
    const double s = seconds(start);
    std::printf("one thread:     %ld post+dispatch in %.3f s = %.2f M msg/s\n", g_handled.load(), s,
                g_handled / s / 1e6);
    DestroyWindow(w);
}

void acrossThreads() {
    HWND w = makeWindow();
    constexpr long kTotal = 1'000'000;
    g_handled = 0;
    long refused = 0;
    const auto start = Clock::now();
    std::thread producer([&] {
        for (long i = 0; i < kTotal; ++i) {
            while (!PostMessage(w, WM_USER, 0, 0)) {
                ++refused;
                std::this_thread::yield();
            }
        }
        PostMessage(w, WM_CLOSE, 0, 0);
    });
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_CLOSE) break;
        DispatchMessage(&msg);
    }
    producer.join();
    const double s = seconds(start);
    std::printf(
        "across threads: %ld post+dispatch in %.3f s = %.2f M msg/s (%ld posts refused by a full queue, "
        "retried)\n",
        g_handled.load(), s, g_handled / s / 1e6, refused);
    DestroyWindow(w);
}

void sendRoundTrips() {
    std::atomic<HWND> w{nullptr};
    std::thread owner([&] {
        w = makeWindow();
        RunMessageLoop();
        DestroyWindow(w);
    });
    while (!w) std::this_thread::yield();
    constexpr int kTotal = 100'000;
    const auto start = Clock::now();
    long sum = 0;
    for (int i = 0; i < kTotal; ++i) sum += SendMessage(w, WM_USER + 1, i, 0);
    const double s = seconds(start);
    std::printf("SendMessage across threads: %d round trips in %.3f s = %.1f us each (check %ld)\n", kTotal,
                s, s / kTotal * 1e6, sum);
    DWORD tid = GetWindowThreadProcessId(w, nullptr);
    PostThreadMessage(tid, WM_QUIT, 0, 0);
    owner.join();
}

void qtLatency(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QtMessagePump pump;
    HWND w = makeWindow();
    constexpr int kCount = 20'000;
    g_latencyUs.clear();
    g_latencyUs.reserve(kCount);
    std::thread worker([&] {
        for (int i = 0; i < kCount; ++i) {
            // Spaced out, so each figure is one message's latency, not a queue's backlog.
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            PostMessage(w, WM_USER + 2, i == kCount - 1, Clock::now().time_since_epoch().count());
        }
    });
    app.exec();
    worker.join();
    std::sort(g_latencyUs.begin(), g_latencyUs.end());
    const auto at = [&](double q) { return g_latencyUs[static_cast<size_t>(q * (g_latencyUs.size() - 1))]; };
    std::printf(
        "PostMessage on a worker -> dispatch on the Qt loop: %zu messages, median %.1f us, p99 %.1f us, max "
        "%.1f us\n",
        g_latencyUs.size(), at(0.5), at(0.99), g_latencyUs.back());
    DestroyWindow(w);
}

}  // namespace

int main(int argc, char** argv) {
    WNDCLASS wc{};
    wc.lpfnWndProc = countProc;
    wc.lpszClassName = "BenchCounter";
    RegisterClass(&wc);
    oneThread();
    acrossThreads();
    sendRoundTrips();
    qtLatency(argc, argv);
    return 0;
}
