// Attribute slides: an attribute moving linearly to a target value over a
// time, following the wall clock whatever the channel is doing (playing,
// paused, stopped, stalled). Every slide ends with its target's slideEnded()
// (the channel raises BASS_SYNC_SLIDE there): when it reaches its value, when
// a new slide or a direct set of the same attribute replaces it, and when the
// channel is freed or the library closed.
//
// One library thread ticks every few milliseconds while a slide runs and
// sleeps otherwise.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"

namespace qaudio {

class SlideTarget {
  public:
    virtual ~SlideTarget() = default;
    // Sets the attribute's current value. Called on the slide thread (or the
    // thread that ends the slide) with the engine's lock held: must not block
    // or call back into the engine.
    virtual void setSlidValue(DWORD attrib, float value) = 0;
    // The slide of `attrib` ended. Called with no engine lock held.
    virtual void slideEnded(DWORD attrib) = 0;
};

class SlideEngine {
  public:
    using Clock = std::chrono::steady_clock;

    ~SlideEngine();
    void start();
    // Ends every slide (at its final value) and the thread.
    void stop();

    // Starts a slide of `attrib` from `from` to `to` over `ms` milliseconds;
    // a running slide of the same attribute ends first. With `ms` 0 the value
    // is set and the slide ends at once.
    void slide(const std::shared_ptr<SlideTarget>& target, DWORD attrib, float from, float to, uint32_t ms);
    // Ends the target's slides now (of one attribute, or all when attrib is
    // 0): at their final values when `complete`, else where they are.
    void finish(const SlideTarget* target, DWORD attrib, bool complete);
    bool isSliding(const SlideTarget* target, DWORD attrib);

  private:
    struct Slide {
        std::weak_ptr<SlideTarget> target;
        const SlideTarget* key;
        DWORD attrib;
        float from, to;
        Clock::time_point start;
        Clock::duration length;
    };
    struct Ended {
        std::shared_ptr<SlideTarget> target;
        DWORD attrib;
    };
    void run();
    // Removes matching slides into `ended`; caller holds m_mutex.
    void takeLocked(const SlideTarget* key, DWORD attrib, bool complete, std::vector<Ended>& ended);
    static void notifyEnded(std::vector<Ended>& ended);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Slide> m_slides;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace qaudio
