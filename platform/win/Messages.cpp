// Posting, sending, retrieving and dispatching messages; timers; registered messages;
// the waits that keep processing messages.
#include <algorithm>

#include "platform/text/Text.h"
#include "platform/win/ThreadQueue.h"
#include "platform/win/WindowRegistry.h"

using namespace quillet::win;
using namespace quillet::win::detail;

namespace quillet::win::detail {
DWORD errorCode();
}

namespace {

HWND const kThreadMessagesOnly = reinterpret_cast<HWND>(intptr_t{-1});

// Handles what is pending when called: sent messages, posted messages up to the last
// one queued now, timers due now. Stops at a quit message and returns its exit code;
// also stops (returning nothing) when a wait inside a handler met one.
std::optional<int> pumpPending(ThreadQueue& queue) {
    const std::uint64_t last = queue.lastSequence();
    const auto now = Clock::now();
    const bool quitBefore = queue.rememberedQuit().has_value();
    MSG msg;
    for (;;) {
        switch (queue.take(msg, MessageFilter{}, true, last, now)) {
            case ThreadQueue::Took::Nothing:
                return std::nullopt;
            case ThreadQueue::Took::Quit:
                return static_cast<int>(msg.wParam);
            case ThreadQueue::Took::Message:
                DispatchMessage(&msg);
                if (!quitBefore && queue.rememberedQuit()) return std::nullopt;
                break;
        }
    }
}

bool validFilter(HWND hwnd) {
    if (hwnd == nullptr || hwnd == kThreadMessagesOnly) return true;
    auto route = routeOf(hwnd);
    return route && !route->foreign && route->threadId == currentThreadId();
}

struct WaitScope {
    explicit WaitScope(ThreadQueue& q) : queue(q) { ++queue.waitDepth; }
    ~WaitScope() { --queue.waitDepth; }
    ThreadQueue& queue;
};

}  // namespace

extern "C" {

DWORD GetLastError(void) {
    return errorCode();
}
void SetLastError(DWORD code) {
    setErrorCode(code);
}
DWORD GetCurrentThreadId(void) {
    return currentThreadId();
}

DWORD GetTickCount(void) {
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

UINT RegisterWindowMessage(const char* name) {
    if (name == nullptr || *name == '\0') {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    const std::string key = qtext::asciiLower(name);
    if (auto it = reg.messages.find(key); it != reg.messages.end()) return it->second;
    if (reg.nextMessage > MSG_REGISTERED_LAST) {
        setErrorCode(ERROR_NOT_ENOUGH_QUOTA);
        return 0;
    }
    const UINT number = reg.nextMessage++;
    reg.messages.emplace(key, number);
    return number;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr) return PostThreadMessage(currentThreadId(), msg, wParam, lParam);
    auto route = routeOf(hwnd);
    if (!route || !route->queue) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const DWORD error = route->queue->post(hwnd, msg, wParam, lParam);
    if (error != ERROR_SUCCESS) {
        setErrorCode(error == ERROR_INVALID_THREAD_ID ? ERROR_INVALID_WINDOW_HANDLE : error);
        return FALSE;
    }
    return TRUE;
}

BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto queue = threadId == currentThreadId() ? currentQueue() : queueOf(threadId);
    if (!queue) {
        setErrorCode(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    const DWORD error = queue->post(nullptr, msg, wParam, lParam);
    if (error != ERROR_SUCCESS) {
        setErrorCode(error);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"

namespace {

// Delivers a message to a window of this or another thread; false (error set) when it
// could not be delivered or the deadline passed.
bool sendTo(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Clock::time_point deadline, LRESULT& result) {
    result = 0;
    auto route = routeOf(hwnd);
    if (!route || !route->queue) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (route->threadId == currentThreadId()) {
        result = callCurrentProc(hwnd, msg, wParam, lParam);
        return true;
    }
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->msg = msg;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->sender = currentQueue();
    if (!route->queue->enqueueSent(sent)) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (!sent->sender->waitForReply(*sent, deadline)) {
        setErrorCode(ERROR_TIMEOUT);
        return false;
    }
    result = sent->result;
    return true;
}

}  // namespace

extern "C" {

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result;
    sendTo(hwnd, msg, wParam, lParam, Clock::time_point::max(), result);
    return result;
}

LRESULT SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeoutMs,
                           LRESULT* result) {
    LRESULT answer;
    const bool ok =
        sendTo(hwnd, msg, wParam, lParam, Clock::now() + std::chrono::milliseconds(timeoutMs), answer);
    if (result) *result = answer;
    return ok ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) {
    currentQueue()->postQuit(exitCode);
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    if (msg == nullptr || !validFilter(hwnd)) {
        setErrorCode(msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto queue = currentQueue();
    const bool removing = (remove & PM_REMOVE) != 0;
    // A quit met inside a wait ends the loop that owns the thread.
    if (auto code = removing ? queue->takeRememberedQuit() : queue->rememberedQuit()) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(*code), 0, GetTickCount(), {0, 0}};
        return TRUE;
    }
    const auto took =
        queue->take(*msg, MessageFilter{hwnd, filterMin, filterMax}, removing, UINT64_MAX, Clock::now());
    return took == ThreadQueue::Took::Nothing ? FALSE : TRUE;
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (msg == nullptr || !validFilter(hwnd)) {
        setErrorCode(msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto queue = currentQueue();
    if (auto code = queue->takeRememberedQuit()) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(*code), 0, GetTickCount(), {0, 0}};
        return FALSE;
    }
    const MessageFilter filter{hwnd, filterMin, filterMax};
    for (;;) {
        const std::uint64_t seen = queue->changes();
        switch (queue->take(*msg, filter, true, UINT64_MAX, Clock::now())) {
            case ThreadQueue::Took::Quit:
                return FALSE;
            case ThreadQueue::Took::Message:
                return TRUE;
            case ThreadQueue::Took::Nothing:
                break;
        }
        if (auto code = queue->takeRememberedQuit()) {  // a handler of a sent message waited and met a quit
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(*code), 0, GetTickCount(), {0, 0}};
            return FALSE;
        }
        queue->waitForChange(seen);
    }
}

BOOL WaitMessage(void) {
    auto queue = currentQueue();
    const std::uint64_t seen = queue->changes();
    MSG msg;
    if (queue->take(msg, MessageFilter{}, false, UINT64_MAX, Clock::now()) == ThreadQueue::Took::Nothing &&
        !queue->rememberedQuit()) {
        queue->waitForChange(seen);
    }
    return TRUE;
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (msg == nullptr) return 0;
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (msg->hwnd == nullptr) return 0;
    auto route = routeOf(msg->hwnd);
    if (!route) return 0;  // destroyed meanwhile: dropped
    if (route->foreign || route->threadId != currentThreadId()) {
        setErrorCode(ERROR_ACCESS_DENIED);
        return 0;
    }
    return callCurrentProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    if (hwnd != nullptr) {
        auto route = routeOf(hwnd);
        if (!route) return 0;
        if (route->foreign || route->threadId != currentThreadId()) {
            setErrorCode(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    const UINT_PTR given = currentQueue()->setTimer(hwnd, id, elapseMs, proc);
    // A window timer's id may be 0, yet 0 means failure: answer 1 then.
    return given != 0 ? given : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    if (!currentQueue()->killTimer(hwnd, id)) {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"

namespace quillet::win {

DWORD EnsureThreadQueue() {
    return currentQueue()->threadId();
}

bool ProcessMessages() {
    auto queue = currentQueue();
    WaitScope scope(*queue);
    const bool quitBefore = queue->rememberedQuit().has_value();
    if (auto quit = pumpPending(*queue)) {
        queue->rememberQuit(*quit);
        return true;
    }
    if (!quitBefore && queue->rememberedQuit()) return true;  // a nested wait met it
    if (auto integration = queue->integration()) integration->processEvents();
    return queue->rememberedQuit().has_value();
}

bool QuitRequested() {
    return currentQueue()->rememberedQuit().has_value();
}

int MessageWaitDepth() {
    return currentQueue()->waitDepth;
}

int RunMessageLoop() {
    MSG msg;
    BOOL r;
    while ((r = GetMessage(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return r == 0 ? static_cast<int>(msg.wParam) : -1;
}

void InstallEventLoopIntegration(std::shared_ptr<EventLoopIntegration> integration) {
    currentQueue()->setIntegration(std::move(integration));
}

std::optional<int> PumpMessages() {
    auto queue = currentQueue();
    if (auto code = queue->takeRememberedQuit()) return code;
    if (auto quit = pumpPending(*queue)) return quit;
    return queue->takeRememberedQuit();  // met by a wait inside a handler
}

std::optional<std::chrono::steady_clock::time_point> NextTimerDue() {
    return currentQueue()->nextTimerDue();
}

}  // namespace quillet::win
