// The output of device 0 ("no sound"): nothing is heard, but written frames
// are consumed at the sample rate by the wall clock, so positions, pauses,
// ends and syncs behave as on a real device.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/audio/core/Output.h"

namespace qaudio {

class ClockOutput : public Output {
  public:
    ClockOutput(uint32_t rate, uint32_t targetMs);

    size_t waitWritable(size_t minFrames, size_t maxFrames) override;
    bool write(const float* data, size_t frames) override;
    uint64_t queuedFrames() override;
    bool drain() override;
    void setPaused(bool paused) override;
    void flush() override;
    void interrupt() override;
    void clearInterrupt() override;
    bool failed() override { return false; }

  private:
    using Clock = std::chrono::steady_clock;
    // Frames consumed so far; caller holds m_mutex.
    uint64_t playedLocked(Clock::time_point now) const;
    Clock::duration framesToDuration(uint64_t frames) const;

    const uint32_t m_rate;
    const uint64_t m_target;  // frames
    std::mutex m_mutex;
    std::condition_variable m_cv;
    uint64_t m_written = 0;
    // The clock runs from (m_base, m_baseFrames) while not paused.
    Clock::time_point m_base;
    uint64_t m_baseFrames = 0;
    bool m_paused = false;
    bool m_interrupted = false;
};

}  // namespace qaudio
