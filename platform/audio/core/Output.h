// Where a playing channel's sound goes: one Output per playing channel.
//
// The channel's output thread is the only writer: it waits for room
// (waitWritable), writes interleaved float frames (write) and, at the end of
// the stream, waits until everything written has been heard (drain). Other
// threads control it (pause, flush, interrupt) and read how much is still
// queued. An Output keeps at most its target latency queued ahead of what is
// heard, so whatever is queued is heard within that time.
//
// All methods are thread-safe. Only waitWritable and drain block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/audio/core/Format.h"

namespace qaudio {

class Output {
  public:
    virtual ~Output() = default;

    // Blocks until at least `minFrames` frames (or the whole target, when
    // smaller) can be written, and returns how many frames may be written
    // now, at most `maxFrames`. Returns 0 when interrupted or when the output
    // has failed.
    virtual size_t waitWritable(size_t minFrames, size_t maxFrames) = 0;
    // Queues frames; `frames` must not exceed what waitWritable allowed.
    // Returns false when the output has failed.
    virtual bool write(const float* data, size_t frames) = 0;
    // Frames written but not heard yet.
    virtual uint64_t queuedFrames() = 0;
    // Blocks until everything written has been heard. Returns false when
    // interrupted or failed.
    virtual bool drain() = 0;
    // Holds (true) or releases (false) what is queued: the sound stops and
    // resumes where it stopped.
    virtual void setPaused(bool paused) = 0;
    // Drops what is queued and not heard.
    virtual void flush() = 0;
    // Makes waitWritable and drain return at once, now and until
    // clearInterrupt(). Used to stop, pause or free a channel.
    virtual void interrupt() = 0;
    virtual void clearInterrupt() = 0;
    virtual bool failed() = 0;
};

// The frames an output keeps queued ahead of what is heard: the configured
// playback buffer, but never more than kMaxQueueMs nor less than kMinQueueMs.
constexpr uint32_t kMaxQueueMs = 100;
constexpr uint32_t kMinQueueMs = 20;
uint32_t queueTargetMs(uint32_t configuredBufferMs);

}  // namespace qaudio
