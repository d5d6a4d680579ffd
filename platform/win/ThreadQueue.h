// A thread's message queue (internal to the layer).
//
// Holds the posted messages (FIFO, at most MESSAGE_QUEUE_LIMIT), the messages other
// threads are sending and waiting on, the quit flag, the thread's timers and the event
// loop integration. Posting and sending happen on any thread; retrieval, timers and
// the quit flag on the owner thread only. One mutex guards it; it may be held while
// the registry's mutex is taken (never the other way round), and never while a window
// procedure or an integration's hook runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/threads/ThreadSafety.h"
#include "platform/win/MessageLayer.h"

namespace quillet::win::detail {

using Clock = std::chrono::steady_clock;

class ThreadQueue;

// A message sent from another thread, or a call carried to the owner thread (call set).
struct SentMessage {
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::function<LRESULT()> call;
    std::shared_ptr<ThreadQueue> sender;
    LRESULT result = 0;  // written by the receiver under the sender's mutex
    bool done = false;   // likewise
};

// Which messages a retrieval wants.
struct MessageFilter {
    HWND hwnd = nullptr;  // nullptr: all; (HWND)-1: thread messages; else one window
    UINT min = 0;
    UINT max = 0;
    bool matches(HWND h, UINT message) const;
};

class ThreadQueue {
  public:
    explicit ThreadQueue(DWORD threadId) : m_threadId(threadId) {}
    DWORD threadId() const { return m_threadId; }

    // Any thread. ERROR_SUCCESS, ERROR_NOT_ENOUGH_QUOTA (full) or ERROR_INVALID_THREAD_ID
    // (the thread has ended).
    DWORD post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Any thread; false when the owner thread has ended.
    bool enqueueSent(std::shared_ptr<SentMessage> sent);
    // Receiver side: stores the result and wakes the sender.
    static void complete(SentMessage& sent, LRESULT result);

    // Owner thread from here on.
    enum class Took { Message, Quit, Nothing };
    // Handles every pending sent message, then takes the first posted message that
    // matches (only those numbered up to maxSequence), else the quit, else a timer due
    // at or before dueBy. Messages of destroyed windows are dropped on the way.
    Took take(MSG& out, const MessageFilter& filter, bool remove, std::uint64_t maxSequence,
              Clock::time_point dueBy);
    // Counter of changes (posts, sends, quits, timer changes); a wait ends when it moves.
    std::uint64_t changes();
    void waitForChange(std::uint64_t seen);
    // Waits for a reply to a message this thread sent, handling incoming sends meanwhile.
    // With a deadline: false when it passed first.
    void waitForReply(SentMessage& sent);
    bool waitForReply(SentMessage& sent, Clock::time_point deadline);
    std::uint64_t lastSequence();

    void postQuit(int exitCode);
    void rememberQuit(int exitCode);
    std::optional<int> rememberedQuit();
    std::optional<int> takeRememberedQuit();

    UINT_PTR setTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
    bool killTimer(HWND hwnd, UINT_PTR id);
    void killTimers(HWND hwnd);
    std::optional<Clock::time_point> nextTimerDue();
    // Drops the queued messages of a destroyed window.
    void purge(HWND hwnd);

    void setIntegration(std::shared_ptr<EventLoopIntegration> integration);
    std::shared_ptr<EventLoopIntegration> integration();

    int waitDepth = 0;  // owner thread only

    // The owner thread is ending: senders get 0, further posts and sends fail.
    void close();

  private:
    struct Posted {
        MSG msg;
        std::uint64_t sequence;
    };
    struct Timer {
        HWND hwnd;
        UINT_PTR id;
        Clock::duration interval;
        TIMERPROC proc;
        Clock::time_point due;
    };

    // Marks a change with m_mutex held; the caller wakes the integration after unlocking.
    std::shared_ptr<EventLoopIntegration> changedLocked() QUILLET_REQUIRES(m_mutex);
    static void deliver(SentMessage& sent);

    const DWORD m_threadId;
    quillet::Mutex m_mutex;
    quillet::CondVar m_cv;
    std::deque<Posted> m_posted QUILLET_GUARDED_BY(m_mutex);
    std::deque<std::shared_ptr<SentMessage>> m_sent QUILLET_GUARDED_BY(m_mutex);
    std::vector<Timer> m_timers QUILLET_GUARDED_BY(m_mutex);
    std::shared_ptr<EventLoopIntegration> m_integration QUILLET_GUARDED_BY(m_mutex);
    std::uint64_t m_sequence QUILLET_GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_changes QUILLET_GUARDED_BY(m_mutex) = 0;
    UINT_PTR m_nextThreadTimerId QUILLET_GUARDED_BY(m_mutex) = 1;
    bool m_quitPending QUILLET_GUARDED_BY(m_mutex) = false;
    int m_quitCode QUILLET_GUARDED_BY(m_mutex) = 0;
    bool m_quitRemembered QUILLET_GUARDED_BY(m_mutex) = false;
    int m_rememberedCode QUILLET_GUARDED_BY(m_mutex) = 0;
    bool m_closed QUILLET_GUARDED_BY(m_mutex) = false;
};

// The calling thread's queue, created on first use.
std::shared_ptr<ThreadQueue> currentQueue();
// The queue of a thread, if it has one and is alive.
std::shared_ptr<ThreadQueue> queueOf(DWORD threadId);

DWORD currentThreadId();
void setErrorCode(DWORD code);

}  // namespace quillet::win::detail
