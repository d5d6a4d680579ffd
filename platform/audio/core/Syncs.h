// Syncs: callbacks a caller attaches to a channel's events.
//
// SyncList holds one channel's syncs; SyncDispatcher is the library thread
// that runs their callbacks, in the order the events happened, so a callback
// never runs inside the library call (or on the output thread) that caused it
// and may call the library freely. A sync with BASS_SYNC_MIXTIME runs at once
// on the thread that raised the event, with no library lock held.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"

namespace qaudio {

struct SyncCall {
    SYNCPROC proc;
    HSYNC sync;
    DWORD channel;
    DWORD data;
    void* user;
};

class SyncDispatcher {
  public:
    ~SyncDispatcher();
    // Starts the thread (idempotent). Called by BASS_Init.
    void start();
    // Runs what is queued, then ends the thread. Called by BASS_Free.
    void stop();
    // Queues a call. When the dispatcher is not running the call is dropped.
    void post(const SyncCall& call);

  private:
    void run();
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<SyncCall> m_queue;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
};

// Sync types a channel accepts.
bool isSupportedSyncType(DWORD type);

class SyncList {
  public:
    // Adds a sync; the returned handle is unique in the process.
    HSYNC add(DWORD type, QWORD param, SYNCPROC proc, void* user);
    bool remove(HSYNC sync);
    bool empty();
    // Raises an event of `type` on `channel`: runs its mixtime syncs now,
    // queues the others on `dispatcher`, and drops the one-time ones. Must be
    // called with no channel lock held.
    void fire(SyncDispatcher& dispatcher, DWORD channel, DWORD type, DWORD data);

  private:
    struct Sync {
        HSYNC id;
        DWORD type;  // without the flags
        bool mixtime;
        bool onetime;
        QWORD param;
        SYNCPROC proc;
        void* user;
    };
    std::mutex m_mutex;
    std::vector<Sync> m_syncs;
};

}  // namespace qaudio
