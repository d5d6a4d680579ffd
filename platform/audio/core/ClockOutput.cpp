#include "platform/audio/core/ClockOutput.h"

#include <algorithm>

namespace qaudio {

uint32_t queueTargetMs(uint32_t configuredBufferMs) {
    return std::clamp(configuredBufferMs, kMinQueueMs, kMaxQueueMs);
}

ClockOutput::ClockOutput(uint32_t rate, uint32_t targetMs)
    : m_rate(rate), m_target(std::max<uint64_t>(1, uint64_t(rate) * targetMs / 1000)), m_base(Clock::now()) {}

ClockOutput::Clock::duration ClockOutput::framesToDuration(uint64_t frames) const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(frames) / m_rate));
}

uint64_t ClockOutput::playedLocked(Clock::time_point now) const {
    if (m_paused) return m_baseFrames;
    const double secs = std::chrono::duration<double>(now - m_base).count();
    const uint64_t ran = secs > 0 ? uint64_t(secs * m_rate) : 0;
    return std::min(m_written, m_baseFrames + ran);
}

size_t ClockOutput::waitWritable(size_t minFrames, size_t maxFrames) {
    std::unique_lock lock(m_mutex);
    minFrames = std::min<uint64_t>(minFrames, m_target);
    for (;;) {
        if (m_interrupted) return 0;
        const uint64_t queued = m_written - playedLocked(Clock::now());
        const uint64_t room = m_target > queued ? m_target - queued : 0;
        if (room >= minFrames && room > 0) return std::min<uint64_t>(room, maxFrames);
        if (m_paused) {
            m_cv.wait(lock);
        } else {
            m_cv.wait_for(lock, framesToDuration(minFrames - std::min(room, uint64_t(minFrames)) + 1));
        }
    }
}

bool ClockOutput::write(const float*, size_t frames) {
    std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    const uint64_t played = playedLocked(now);
    if (played == m_written && !m_paused) {
        // Ran dry: the clock restarts with these frames, as a device would.
        m_base = now;
        m_baseFrames = played;
    }
    m_written += frames;
    return true;
}

uint64_t ClockOutput::queuedFrames() {
    std::lock_guard lock(m_mutex);
    return m_written - playedLocked(Clock::now());
}

bool ClockOutput::drain() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_interrupted) return false;
        const uint64_t queued = m_written - playedLocked(Clock::now());
        if (queued == 0) return true;
        if (m_paused) {
            m_cv.wait(lock);
        } else {
            m_cv.wait_for(lock, framesToDuration(queued) + std::chrono::microseconds(100));
        }
    }
}

void ClockOutput::setPaused(bool paused) {
    {
        std::lock_guard lock(m_mutex);
        if (paused == m_paused) return;
        const auto now = Clock::now();
        if (paused) {
            m_baseFrames = playedLocked(now);
        } else {
            m_base = now;
        }
        m_paused = paused;
    }
    m_cv.notify_all();
}

void ClockOutput::flush() {
    {
        std::lock_guard lock(m_mutex);
        const auto now = Clock::now();
        m_written = playedLocked(now);
        m_baseFrames = m_written;
        m_base = now;
    }
    m_cv.notify_all();
}

void ClockOutput::interrupt() {
    {
        std::lock_guard lock(m_mutex);
        m_interrupted = true;
    }
    m_cv.notify_all();
}

void ClockOutput::clearInterrupt() {
    std::lock_guard lock(m_mutex);
    m_interrupted = false;
}

}  // namespace qaudio
