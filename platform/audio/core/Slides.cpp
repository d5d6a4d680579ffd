#include "platform/audio/core/Slides.h"

namespace qaudio {

namespace {
// Tick of the slide thread: fine enough that a volume fade has no audible
// steps (the output thread also ramps between successive values).
constexpr auto kTick = std::chrono::milliseconds(5);
}  // namespace

SlideEngine::~SlideEngine() {
    stop();
}

void SlideEngine::start() {
    std::lock_guard lock(m_mutex);
    if (m_running) return;
    m_running = true;
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void SlideEngine::stop() {
    std::vector<Ended> ended;
    std::thread t;
    {
        std::lock_guard lock(m_mutex);
        if (!m_running) return;
        m_stopping = true;
        takeLocked(nullptr, 0, true, ended);
        t = std::move(m_thread);
    }
    m_cv.notify_all();
    notifyEnded(ended);
    if (t.get_id() == std::this_thread::get_id()) {
        t.detach();
    } else {
        t.join();
    }
    std::lock_guard lock(m_mutex);
    m_running = false;
}

void SlideEngine::slide(const std::shared_ptr<SlideTarget>& target, DWORD attrib, float from, float to,
                        uint32_t ms) {
    std::vector<Ended> ended;
    {
        std::lock_guard lock(m_mutex);
        takeLocked(target.get(), attrib, false, ended);
        if (ms == 0 || !m_running) {
            target->setSlidValue(attrib, to);
            ended.push_back(Ended{target, attrib});
        } else {
            m_slides.push_back(
                Slide{target, target.get(), attrib, from, to, Clock::now(), std::chrono::milliseconds(ms)});
        }
    }
    m_cv.notify_all();
    notifyEnded(ended);
}

void SlideEngine::finish(const SlideTarget* target, DWORD attrib, bool complete) {
    std::vector<Ended> ended;
    {
        std::lock_guard lock(m_mutex);
        takeLocked(target, attrib, complete, ended);
    }
    notifyEnded(ended);
}

bool SlideEngine::isSliding(const SlideTarget* target, DWORD attrib) {
    std::lock_guard lock(m_mutex);
    for (const Slide& s : m_slides) {
        if (s.key == target && s.attrib == attrib) return true;
    }
    return false;
}

void SlideEngine::takeLocked(const SlideTarget* key, DWORD attrib, bool complete, std::vector<Ended>& ended) {
    for (auto it = m_slides.begin(); it != m_slides.end();) {
        if ((key && it->key != key) || (attrib && it->attrib != attrib)) {
            ++it;
            continue;
        }
        if (auto t = it->target.lock()) {
            if (complete) t->setSlidValue(it->attrib, it->to);
            ended.push_back(Ended{std::move(t), it->attrib});
        }
        it = m_slides.erase(it);
    }
}

void SlideEngine::notifyEnded(std::vector<Ended>& ended) {
    for (Ended& e : ended) e.target->slideEnded(e.attrib);
    ended.clear();
}

void SlideEngine::run() {
    std::vector<Ended> ended;
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_slides.empty()) {
            m_cv.wait(lock, [this] { return m_stopping || !m_slides.empty(); });
            continue;
        }
        const auto now = Clock::now();
        for (auto it = m_slides.begin(); it != m_slides.end();) {
            auto t = it->target.lock();
            if (!t) {
                it = m_slides.erase(it);
                continue;
            }
            const auto elapsed = now - it->start;
            if (elapsed >= it->length) {
                t->setSlidValue(it->attrib, it->to);
                ended.push_back(Ended{std::move(t), it->attrib});
                it = m_slides.erase(it);
                continue;
            }
            const float f = std::chrono::duration<float>(elapsed) / std::chrono::duration<float>(it->length);
            t->setSlidValue(it->attrib, it->from + (it->to - it->from) * f);
            ++it;
        }
        if (!ended.empty()) {
            lock.unlock();
            notifyEnded(ended);
            lock.lock();
            continue;
        }
        m_cv.wait_for(lock, kTick, [this] { return m_stopping; });
    }
}

}  // namespace qaudio
