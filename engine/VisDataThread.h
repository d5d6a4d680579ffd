// The producer of a visualisation plug-in's data: a thread that, once per plug-in
// period, takes the spectrum and the waveform of what is playing and hands them to
// the visualisation driver through the shared block (VisData.h), then tells the
// plug-in's thread with a thread message.
//
// Timing: the first period ends 250 ms after the thread first runs; a new plug-in
// period re-arms the timer. A wait for the next period that lasts more than 1000 ms
// (a plug-in asking for a longer period) ends production for good. While suspended
// the thread does nothing; the timer keeps running, so the first wait after a resume
// may return at once.
//
// Threads: every operation is called on the user-interface thread; the production
// step runs on the thread itself (and in tests, on the caller's thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/types/PlayerTypes.h"
#include "engine/types/VisData.h"
#include "platform/win/WinTypes.h"

// Where the thread takes its data from: the output channel of the audio library.
// Tests give their own.
class TVisSource {
  public:
    virtual ~TVisSource() = default;
    virtual bool Playing() = 0;                  // the output is playing
    virtual uint32_t AvailableBytes() = 0;       // buffered output
    virtual bool FFT(float* out) = 0;            // 1024 magnitudes of a 2048-point FFT
    virtual bool FFTPerChannel(float* out) = 0;  // 2048 values, left and right interleaved
    virtual bool Samples(int16_t* out, uint32_t bytes) = 0;
    virtual uint32_t PositionMs() = 0;
};

struct TVisChannelParams {
    TStreamKind kind = skNone;
    DWORD decodeChannel = 0;
    DWORD outputChannel = 0;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
};

class TVisDataThread {
  public:
    static constexpr uint32_t kMinPeriodMs = 10;
    static constexpr uint32_t kFirstDelayMs = 250;
    static constexpr uint32_t kGiveUpMs = 1000;
    static constexpr int kNotTakenLimit = 20;

    // Creates the thread suspended; `message` is the registered message number.
    // source: nullptr takes the data from the audio library (the channels given by
    // SetChannelParams).
    explicit TVisDataThread(UINT message, std::unique_ptr<TVisSource> source = nullptr);
    ~TVisDataThread();
    TVisDataThread(const TVisDataThread&) = delete;
    TVisDataThread& operator=(const TVisDataThread&) = delete;

    VisDataBlock& Block() { return m_block; }
    std::mutex& Lock() { return m_block.lock; }
    bool Ready() const { return m_ready; }
    // False once production ended for good (a period that never came).
    bool Producing() const { return !m_ended; }

    // A plug-in's wishes. The period is the delay, at least 10 ms; the counts are
    // bounded to 0..2.
    void SetPluginParams(int latencyMs, int delayMs, int spectrumNch, int waveformNch);
    void SetChannelParams(const TVisChannelParams& params);
    void SetMode(TPlayerMode mode) { m_mode = mode; }
    void SetScale(uint32_t scale) { m_scale = scale; }
    void SetTargetThread(DWORD threadId) { m_target = threadId; }
    uint32_t PeriodMs() const { return m_period; }
    void PostToTarget(WPARAM code, LPARAM value);

    // Resets the not-taken count and the block's data-ready flag, waits `ms`
    // (processing the caller's messages), then resumes the thread unless `wanted`
    // (when given) says the reason went away during the wait.
    void ResumeAfter(uint32_t ms, const std::function<bool()>& wanted = {});
    void Resume();
    void Suspend();
    bool Suspended();

    // One production step (what a period does). Public for tests.
    void Produce();

  private:
    void Run();
    // Waits while suspended; false when terminated.
    bool WaitWhileSuspended();
    // The packed channels of one period, from `out` on.
    void WriteSpectrum(uint8_t* out, int spectra, uint32_t channels);
    void WriteWaveform(uint8_t* out, int waves, uint32_t channels);

    VisDataBlock m_block;
    UINT m_message;
    std::unique_ptr<TVisSource> m_source;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_ended{false};
    std::atomic<uint32_t> m_period{0};
    std::atomic<bool> m_periodChanged{false};
    std::atomic<uint32_t> m_latency{0};
    std::atomic<int> m_spectrumNch{0};
    std::atomic<int> m_waveformNch{0};
    std::atomic<uint32_t> m_mode{plmStandby};
    std::atomic<uint32_t> m_scale{512};
    std::atomic<DWORD> m_target{0};
    int m_notTaken = 0;  // producing thread only (and ResumeAfter while suspended)
    std::atomic<bool> m_resetNotTaken{false};

    std::mutex m_stateLock;  // suspension, termination and the channel parameters
    std::condition_variable m_wake;
    bool m_suspended = true;
    bool m_terminated = false;
    TVisChannelParams m_channels;
    friend class TBassVisSource;

    float m_fft[2048] = {};
    int16_t m_samples[8 * kVisChannelBytes] = {};
    std::thread m_thread;
};
