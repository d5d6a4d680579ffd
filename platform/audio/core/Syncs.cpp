#include "platform/audio/core/Syncs.h"

#include <atomic>

namespace qaudio {

namespace {
constexpr DWORD kFlagMask = BASS_SYNC_MIXTIME | BASS_SYNC_ONETIME;
std::atomic<HSYNC> g_nextSync{1};
}  // namespace

SyncDispatcher::~SyncDispatcher() {
    stop();
}

void SyncDispatcher::start() {
    std::lock_guard lock(m_mutex);
    if (m_running) return;
    m_running = true;
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void SyncDispatcher::stop() {
    std::thread t;
    {
        std::lock_guard lock(m_mutex);
        if (!m_running) return;
        m_stopping = true;
        t = std::move(m_thread);
    }
    m_cv.notify_all();
    if (t.get_id() == std::this_thread::get_id()) {
        t.detach();  // a callback freed the library: the thread ends by itself
    } else {
        t.join();
    }
    std::lock_guard lock(m_mutex);
    m_running = false;
}

void SyncDispatcher::post(const SyncCall& call) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_running || m_stopping) return;
        m_queue.push_back(call);
    }
    m_cv.notify_one();
}

void SyncDispatcher::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty()) return;  // stopping and drained
        const SyncCall call = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        call.proc(call.sync, call.channel, call.data, call.user);
        lock.lock();
    }
}

bool isSupportedSyncType(DWORD type) {
    switch (type & ~kFlagMask) {
        case BASS_SYNC_END:
        case BASS_SYNC_META:
        case BASS_SYNC_SLIDE:
        case BASS_SYNC_DOWNLOAD:
        case BASS_SYNC_FREE:
            return true;
        default:
            return false;
    }
}

HSYNC SyncList::add(DWORD type, QWORD param, SYNCPROC proc, void* user) {
    HSYNC id = g_nextSync.fetch_add(1);
    if (id == 0) id = g_nextSync.fetch_add(1);  // wrapped
    std::lock_guard lock(m_mutex);
    m_syncs.push_back(Sync{id, type & ~kFlagMask, (type & BASS_SYNC_MIXTIME) != 0,
                           (type & BASS_SYNC_ONETIME) != 0, param, proc, user});
    return id;
}

bool SyncList::remove(HSYNC sync) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_syncs.begin(); it != m_syncs.end(); ++it) {
        if (it->id == sync) {
            m_syncs.erase(it);
            return true;
        }
    }
    return false;
}

bool SyncList::empty() {
    std::lock_guard lock(m_mutex);
    return m_syncs.empty();
}

void SyncList::fire(SyncDispatcher& dispatcher, DWORD channel, DWORD type, DWORD data) {
    std::vector<SyncCall> now;  // mixtime calls, run after the lock is released
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_syncs.begin(); it != m_syncs.end();) {
            if (it->type != type) {
                ++it;
                continue;
            }
            const SyncCall call{it->proc, it->id, channel, data, it->user};
            if (it->mixtime) {
                now.push_back(call);
            } else {
                dispatcher.post(call);
            }
            it = it->onetime ? m_syncs.erase(it) : it + 1;
        }
    }
    for (const SyncCall& c : now) c.proc(c.sync, c.channel, c.data, c.user);
}

}  // namespace qaudio
