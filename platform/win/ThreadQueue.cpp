#include "platform/win/ThreadQueue.h"

#include <unistd.h>

#include <algorithm>

#include "platform/win/WindowRegistry.h"

namespace quillet::win::detail {

namespace {

// One per thread, never shared.
thread_local DWORD t_error = ERROR_SUCCESS;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

DWORD nowTicks() {
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

// Owns the calling thread's queue; closing it when the thread ends wakes every thread
// still waiting on a message sent here and removes the thread's windows.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (!queue) return;
        queue->close();
        forgetThreadWindows(queue->threadId());
        auto& reg = WindowRegistry::instance();
        std::lock_guard lock(reg.mutex);
        reg.queues.erase(queue->threadId());
    }
};
// One per thread, never shared.
thread_local QueueHolder t_queue;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

}  // namespace

void setErrorCode(DWORD code) {
    t_error = code;
}
DWORD errorCode() {
    return t_error;
}

DWORD currentThreadId() {
    static thread_local const DWORD id = static_cast<DWORD>(gettid());
    return id;
}

std::shared_ptr<ThreadQueue> currentQueue() {
    if (!t_queue.queue) {
        auto queue = std::make_shared<ThreadQueue>(currentThreadId());
        auto& reg = WindowRegistry::instance();
        std::lock_guard lock(reg.mutex);
        reg.queues[queue->threadId()] = queue;
        t_queue.queue = std::move(queue);
    }
    return t_queue.queue;
}

std::shared_ptr<ThreadQueue> queueOf(DWORD threadId) {
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto it = reg.queues.find(threadId);
    return it == reg.queues.end() ? nullptr : it->second.lock();
}

bool MessageFilter::matches(HWND h, UINT message) const {
    if (hwnd == reinterpret_cast<HWND>(intptr_t{-1})) {
        if (h != nullptr) return false;
    } else if (hwnd != nullptr && h != hwnd) {
        return false;
    }
    if (min == 0 && max == 0) return true;
    return message >= min && message <= max;
}

std::shared_ptr<EventLoopIntegration> ThreadQueue::changedLocked() {
    ++m_changes;
    m_cv.notify_all();
    return m_integration;
}

DWORD ThreadQueue::post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<EventLoopIntegration> integration;
    {
        quillet::MutexLock lock(m_mutex);
        if (m_closed) return ERROR_INVALID_THREAD_ID;
        if (m_posted.size() >= MESSAGE_QUEUE_LIMIT) return ERROR_NOT_ENOUGH_QUOTA;
        MSG m{hwnd, msg, wParam, lParam, nowTicks(), {0, 0}};
        m_posted.push_back(Posted{m, ++m_sequence});
        integration = changedLocked();
    }
    if (integration) integration->wake();
    return ERROR_SUCCESS;
}

bool ThreadQueue::enqueueSent(std::shared_ptr<SentMessage> sent) {
    std::shared_ptr<EventLoopIntegration> integration;
    {
        quillet::MutexLock lock(m_mutex);
        if (m_closed) return false;
        m_sent.push_back(std::move(sent));
        integration = changedLocked();
    }
    if (integration) integration->wake();
    return true;
}

void ThreadQueue::complete(SentMessage& sent, LRESULT result) {
    ThreadQueue& sender = *sent.sender;
    quillet::MutexLock lock(sender.m_mutex);
    sent.result = result;
    sent.done = true;
    ++sender.m_changes;
    sender.m_cv.notify_all();
}

void ThreadQueue::deliver(SentMessage& sent) {
    LRESULT result = sent.call ? sent.call() : callCurrentProc(sent.hwnd, sent.msg, sent.wParam, sent.lParam);
    complete(sent, result);
}

// Sent messages, then posted ones, then the quit, then a due timer: one pass of
// retrieval, kept in one place so its order is read at a glance.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
ThreadQueue::Took ThreadQueue::take(MSG& out, const MessageFilter& filter, bool remove,
                                    std::uint64_t maxSequence, Clock::time_point dueBy) {
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        {
            quillet::MutexLock lock(m_mutex);
            if (!m_sent.empty()) {
                sent = std::move(m_sent.front());
                m_sent.pop_front();
            }
        }
        if (!sent) break;
        deliver(*sent);
    }

    quillet::MutexLock lock(m_mutex);
    for (auto it = m_posted.begin(); it != m_posted.end() && it->sequence <= maxSequence;) {
        const MSG& m = it->msg;
        if (m.hwnd != nullptr && !windowAlive(m.hwnd)) {
            it = m_posted.erase(it);  // its window is gone: the message is dropped
            continue;
        }
        if (m.message == WM_QUIT || filter.matches(m.hwnd, m.message)) {
            out = m;
            if (remove) m_posted.erase(it);
            return out.message == WM_QUIT ? Took::Quit : Took::Message;
        }
        ++it;
    }
    if (m_quitPending) {
        out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(m_quitCode), 0, nowTicks(), {0, 0}};
        if (remove) m_quitPending = false;
        return Took::Quit;
    }
    Timer* due = nullptr;
    for (Timer& t : m_timers) {
        if (t.due <= dueBy && filter.matches(t.hwnd, WM_TIMER) && (!due || t.due < due->due)) due = &t;
    }
    if (due) {
        out = MSG{due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), nowTicks(), {0, 0}};
        // One WM_TIMER however late the thread is; the next falls due an interval later.
        if (remove) due->due = Clock::now() + due->interval;
        return Took::Message;
    }
    return Took::Nothing;
}

std::uint64_t ThreadQueue::changes() {
    quillet::MutexLock lock(m_mutex);
    return m_changes;
}

void ThreadQueue::waitForChange(std::uint64_t seen) {
    quillet::MutexLock lock(m_mutex);
    while (m_changes == seen) {
        // Timers already due but filtered out by the caller do not end the wait.
        const auto now = Clock::now();
        std::optional<Clock::time_point> next;
        for (const Timer& t : m_timers) {
            if (t.due > now && (!next || t.due < *next)) next = t.due;
        }
        if (!next) {
            m_cv.wait(lock);
        } else if (m_cv.wait_until(lock, *next) == std::cv_status::timeout) {
            return;
        }
    }
}

void ThreadQueue::waitForReply(SentMessage& sent) {
    waitForReply(sent, Clock::time_point::max());
}

bool ThreadQueue::waitForReply(SentMessage& sent, Clock::time_point deadline) {
    ++waitDepth;
    quillet::MutexLock lock(m_mutex);
    while (!sent.done) {
        if (!m_sent.empty()) {
            // Somebody sends to us while we wait: handle it, or two threads sending to
            // each other would wait for ever.
            auto incoming = std::move(m_sent.front());
            m_sent.pop_front();
            lock.unlock();
            deliver(*incoming);
            lock.lock();
            continue;
        }
        if (deadline == Clock::time_point::max()) {
            m_cv.wait(lock);
        } else if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout && !sent.done) {
            break;
        }
    }
    --waitDepth;
    return sent.done;
}

std::uint64_t ThreadQueue::lastSequence() {
    quillet::MutexLock lock(m_mutex);
    return m_sequence;
}

void ThreadQueue::postQuit(int exitCode) {
    std::shared_ptr<EventLoopIntegration> integration;
    {
        quillet::MutexLock lock(m_mutex);
        m_quitPending = true;
        m_quitCode = exitCode;
        integration = changedLocked();
    }
    if (integration) integration->wake();
}

void ThreadQueue::rememberQuit(int exitCode) {
    std::shared_ptr<EventLoopIntegration> integration;
    {
        quillet::MutexLock lock(m_mutex);
        m_quitRemembered = true;
        m_rememberedCode = exitCode;
        integration = changedLocked();
    }
    if (integration) integration->wake();
}

std::optional<int> ThreadQueue::rememberedQuit() {
    quillet::MutexLock lock(m_mutex);
    if (!m_quitRemembered) return std::nullopt;
    return m_rememberedCode;
}

std::optional<int> ThreadQueue::takeRememberedQuit() {
    quillet::MutexLock lock(m_mutex);
    if (!m_quitRemembered) return std::nullopt;
    m_quitRemembered = false;
    return m_rememberedCode;
}

UINT_PTR ThreadQueue::setTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    const auto interval = std::chrono::milliseconds(std::max<UINT>(elapseMs, USER_TIMER_MINIMUM));
    std::shared_ptr<EventLoopIntegration> integration;
    {
        quillet::MutexLock lock(m_mutex);
        auto it = std::find_if(m_timers.begin(), m_timers.end(),
                               [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
        if (it == m_timers.end()) {
            if (hwnd == nullptr) {
                // Thread timers get a fresh id unless an existing one is named.
                do {
                    id = m_nextThreadTimerId++;
                } while (std::any_of(m_timers.begin(), m_timers.end(),
                                     [&](const Timer& t) { return t.hwnd == nullptr && t.id == id; }));
            }
            m_timers.push_back(Timer{hwnd, id, interval, proc, Clock::now() + interval});
        } else {
            *it = Timer{hwnd, id, interval, proc, Clock::now() + interval};
        }
        integration = changedLocked();
    }
    if (integration) integration->wake();
    return id;
}

bool ThreadQueue::killTimer(HWND hwnd, UINT_PTR id) {
    std::shared_ptr<EventLoopIntegration> integration;
    {
        quillet::MutexLock lock(m_mutex);
        auto it = std::find_if(m_timers.begin(), m_timers.end(),
                               [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
        if (it == m_timers.end()) return false;
        m_timers.erase(it);
        integration = changedLocked();
    }
    if (integration) integration->wake();
    return true;
}

void ThreadQueue::killTimers(HWND hwnd) {
    quillet::MutexLock lock(m_mutex);
    std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    ++m_changes;
}

std::optional<Clock::time_point> ThreadQueue::nextTimerDue() {
    quillet::MutexLock lock(m_mutex);
    std::optional<Clock::time_point> next;
    for (const Timer& t : m_timers) {
        if (!next || t.due < *next) next = t.due;
    }
    return next;
}

void ThreadQueue::purge(HWND hwnd) {
    quillet::MutexLock lock(m_mutex);
    std::erase_if(m_posted, [&](const Posted& p) { return p.msg.hwnd == hwnd; });
}

void ThreadQueue::setIntegration(std::shared_ptr<EventLoopIntegration> integration) {
    quillet::MutexLock lock(m_mutex);
    m_integration = std::move(integration);
}

std::shared_ptr<EventLoopIntegration> ThreadQueue::integration() {
    quillet::MutexLock lock(m_mutex);
    return m_integration;
}

void ThreadQueue::close() {
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
        quillet::MutexLock lock(m_mutex);
        m_closed = true;
        pending.swap(m_sent);
        m_posted.clear();
        m_timers.clear();
        m_integration.reset();
    }
    for (auto& sent : pending) complete(*sent, 0);
}

}  // namespace quillet::win::detail
