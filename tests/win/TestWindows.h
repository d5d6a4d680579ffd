// Helpers shared by the message-layer tests: a window class whose procedure records
// what it gets, and a thread that owns windows and runs a message loop.
#pragma once

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/MessageLayer.h"

namespace wintest {

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    DWORD threadId;
};

// Every window of the class "TestRecorder" records its messages here; a handler set
// for a message number runs instead of DefWindowProc.
class Recorder {
  public:
    static Recorder& instance() {
        static Recorder r;
        return r;
    }
    static LRESULT CALLBACK_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto& self = instance();
        std::function<LRESULT(HWND, WPARAM, LPARAM)> handler;
        {
            std::lock_guard lock(self.m_mutex);
            if (msg >= WM_USER) self.m_received.push_back({hwnd, msg, wParam, lParam, GetCurrentThreadId()});
            if (auto it = self.m_handlers.find(msg); it != self.m_handlers.end()) handler = it->second;
        }
        if (handler) return handler(hwnd, wParam, lParam);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    void on(UINT msg, std::function<LRESULT(HWND, WPARAM, LPARAM)> handler) {
        std::lock_guard lock(m_mutex);
        m_handlers[msg] = std::move(handler);
    }
    std::vector<Received> received() {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    void reset() {
        std::lock_guard lock(m_mutex);
        m_received.clear();
        m_handlers.clear();
    }

  private:
    Recorder() {
        WNDCLASS wc{};
        wc.lpfnWndProc = CALLBACK_proc;
        wc.lpszClassName = "TestRecorder";
        RegisterClass(&wc);
    }
    std::mutex m_mutex;
    std::vector<Received> m_received;
    std::map<UINT, std::function<LRESULT(HWND, WPARAM, LPARAM)>> m_handlers;
};

inline HWND makeWindow(const char* title = "", HWND parent = HWND_MESSAGE) {
    Recorder::instance();
    return CreateWindowEx(0, "TestRecorder", title, 0, 0, 0, 0, 0, parent, nullptr, nullptr, nullptr);
}

// A thread that creates a window and pumps its queue with GetMessage until WM_QUIT.
class LoopThread {
  public:
    explicit LoopThread(const char* title = "") {
        std::promise<std::pair<HWND, DWORD>> ready;
        auto f = ready.get_future();
        m_thread = std::thread([this, title, &ready] {
            HWND h = makeWindow(title);
            ready.set_value({h, GetCurrentThreadId()});
            m_exitCode = quillet::win::RunMessageLoop();
        });
        std::tie(hwnd, threadId) = f.get();
    }
    ~LoopThread() { stop(); }
    void stop() {
        if (m_thread.joinable()) {
            PostThreadMessage(threadId, WM_QUIT, 0, 0);
            m_thread.join();
        }
    }
    HWND hwnd = nullptr;
    DWORD threadId = 0;

  private:
    std::thread m_thread;
    int m_exitCode = 0;
};

}  // namespace wintest
