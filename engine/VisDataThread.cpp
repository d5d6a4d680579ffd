#include "engine/VisDataThread.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/MessageLayer.h"
#include "plugins/PluginHost.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The output channel of the audio library, as the engine set it up.
class TBassVisSource : public TVisSource {
  public:
    explicit TBassVisSource(TVisDataThread& owner) : m_owner(owner) {}

    bool Playing() override {
        return Bass.BASS_ChannelIsActive(params().outputChannel) == BASS_ACTIVE_PLAYING;
    }
    uint32_t AvailableBytes() override {
        const DWORD n = Bass.BASS_ChannelGetData(params().outputChannel, nullptr, BASS_DATA_AVAILABLE);
        return n == DWORD(-1) ? 0 : n;
    }
    bool FFT(float* out) override {
        return Bass.BASS_ChannelGetData(params().outputChannel, out, BASS_DATA_FFT2048) != DWORD(-1);
    }
    bool FFTPerChannel(float* out) override {
        return Bass.BASS_ChannelGetData(params().outputChannel, out,
                                        BASS_DATA_FFT2048 | BASS_DATA_FFT_INDIVIDUAL) != DWORD(-1);
    }
    bool Samples(int16_t* out, uint32_t bytes) override {
        const DWORD n = Bass.BASS_ChannelGetData(params().outputChannel, out, bytes);
        if (n == DWORD(-1)) return false;
        if (n < bytes) std::memset(reinterpret_cast<uint8_t*>(out) + n, 0, bytes - n);
        return true;
    }
    uint32_t PositionMs() override {
        const TVisChannelParams p = params();
        if (!p.decodeChannel) return 0;
        const QWORD decoded = Bass.BASS_ChannelGetPosition(p.decodeChannel, BASS_POS_BYTE);
        if (decoded == QWORD(-1)) return 0;
        int64_t bytes = int64_t(decoded);
        if (p.decodeChannel != p.outputChannel) bytes -= int64_t(BufferedOutputBytes());
        if (bytes <= 0) return 0;
        const double seconds = Bass.BASS_ChannelBytes2Seconds(p.decodeChannel, QWORD(bytes));
        return seconds > 0 ? uint32_t(std::lround(seconds * 1000.0)) : 0;
    }

  private:
    TVisChannelParams params() {
        std::lock_guard lock(m_owner.m_stateLock);
        return m_owner.m_channels;
    }
    TVisDataThread& m_owner;
};

TVisDataThread::TVisDataThread(UINT message, std::unique_ptr<TVisSource> source)
    : m_message(message), m_source(std::move(source)) {
    if (!m_source) m_source = std::make_unique<TBassVisSource>(*this);
    try {
        m_thread = std::thread([this] { Run(); });
        m_ready = true;
    } catch (const std::system_error&) {
        m_ready = false;  // no thread, no plug-ins
    }
}

TVisDataThread::~TVisDataThread() {
    {
        std::lock_guard lock(m_stateLock);
        m_terminated = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void TVisDataThread::SetPluginParams(int latencyMs, int delayMs, int spectrumNch, int waveformNch) {
    m_latency = uint32_t(std::max(latencyMs, 0));
    m_spectrumNch = std::clamp(spectrumNch, 0, kVisMaxChannels);
    m_waveformNch = std::clamp(waveformNch, 0, kVisMaxChannels);
    const uint32_t period = uint32_t(std::max<int64_t>(delayMs, kMinPeriodMs));
    const uint32_t old = m_period.exchange(period);
    if (old != 0 && old != period) m_periodChanged = true;
    if (old == 0) m_periodChanged = true;  // a thread waiting for its first period re-arms
    m_wake.notify_all();
}

void TVisDataThread::SetChannelParams(const TVisChannelParams& params) {
    std::lock_guard lock(m_stateLock);
    m_channels = params;
}

void TVisDataThread::PostToTarget(WPARAM code, LPARAM value) {
    const DWORD target = m_target;
    if (target) PostThreadMessage(target, m_message, code, value);
}

bool TVisDataThread::Suspended() {
    std::lock_guard lock(m_stateLock);
    return m_suspended;
}

void TVisDataThread::ResumeAfter(uint32_t ms, const std::function<bool()>& wanted) {
    m_resetNotTaken = true;
    m_block.dataReady.store(0, std::memory_order_release);
    if (ms <= 20) {
        std::this_thread::sleep_for(milliseconds(ms));
    } else {
        for (uint32_t i = 0; i < ms / 20; ++i) {
            std::this_thread::sleep_for(milliseconds(20));
            quillet::win::ProcessMessages();
        }
    }
    if (!wanted || wanted()) Resume();
}

void TVisDataThread::Resume() {
    {
        std::lock_guard lock(m_stateLock);
        m_suspended = false;
    }
    m_wake.notify_all();
}

void TVisDataThread::Suspend() {
    {
        std::lock_guard lock(m_stateLock);
        m_suspended = true;
    }
    m_wake.notify_all();
}

bool TVisDataThread::WaitWhileSuspended() {
    std::unique_lock lock(m_stateLock);
    m_wake.wait(lock, [&] { return m_terminated || !m_suspended; });
    return !m_terminated;
}

void TVisDataThread::Run() {
    if (!WaitWhileSuspended()) return;
    Clock::time_point due = Clock::now() + milliseconds(kFirstDelayMs);
    m_periodChanged = false;
    for (;;) {
        if (!WaitWhileSuspended()) return;
        if (m_periodChanged.exchange(false)) due = Clock::now() + milliseconds(kFirstDelayMs);
        const uint32_t period = m_period;
        std::unique_lock lock(m_stateLock);
        const auto stop = [&] { return m_terminated || m_suspended || m_periodChanged.load(); };
        if (period == 0) {
            // No plug-in period yet: nothing to give up on.
            m_wake.wait(lock, stop);
            continue;
        }
        const Clock::time_point deadline = Clock::now() + milliseconds(kGiveUpMs);
        if (m_wake.wait_until(lock, std::min(due, deadline), stop)) continue;  // the timer keeps running
        lock.unlock();
        const Clock::time_point now = Clock::now();
        if (now < due) {
            // No period within a second: the plug-in's pace is beyond what is served.
            m_ended = true;
            return;
        }
        // Periods missed meanwhile count as one, as with any auto-reset timer.
        while (due <= now) due += milliseconds(period);
        Produce();
    }
}

void TVisDataThread::Produce() {
    if (m_resetNotTaken.exchange(false)) m_notTaken = 0;
    if (!m_source->Playing()) return;
    TVisChannelParams channels;
    {
        std::lock_guard lock(m_stateLock);
        channels = m_channels;
    }
    if (m_source->AvailableBytes() < channels.channels * 2048) return;
    if (m_block.dataReady.load(std::memory_order_acquire) != 0) {
        if (++m_notTaken >= kNotTakenLimit) {
            PostToTarget(kVisDataNotTaken, 0);
            m_notTaken = 0;
        }
        return;
    }
    m_block.dataSampleRate = channels.sampleRate;
    m_block.dataChannels = std::min<uint32_t>(channels.channels, kVisMaxChannels);
    m_block.position = m_source->PositionMs();

    uint8_t* out = m_block.data;
    const int spectra = m_spectrumNch;
    if (spectra > 0) {
        WriteSpectrum(out, spectra, channels.channels);
        out += spectra * kVisChannelBytes;
    }
    const int waves = m_waveformNch;
    if (waves > 0) WriteWaveform(out, waves, channels.channels);
    m_block.dataReady.store(1, std::memory_order_release);
    PostToTarget(kVisNewData, 0);
}

void TVisDataThread::WriteSpectrum(uint8_t* out, int spectra, uint32_t channels) {
    const double scale = m_scale;
    auto level = [scale](float magnitude) -> uint8_t {
        const double v = scale * double(magnitude);
        if (!(v > 0)) return 0;  // negatives and NaN
        return v >= 255 ? 255 : uint8_t(v);
    };
    if (spectra == 2 && channels == 2) {
        if (!m_source->FFTPerChannel(m_fft)) std::fill(std::begin(m_fft), std::end(m_fft), 0.0f);
        for (int i = 0; i < kVisChannelBytes; ++i) {
            out[i] = level(m_fft[2 * (i + 1)]);
            out[kVisChannelBytes + i] = level(m_fft[2 * (i + 1) + 1]);
        }
        return;
    }
    if (!m_source->FFT(m_fft)) std::fill(std::begin(m_fft), std::end(m_fft), 0.0f);
    for (int i = 0; i < kVisChannelBytes; ++i) out[i] = level(m_fft[i + 1]);
    if (spectra == 2) std::memcpy(out + kVisChannelBytes, out, kVisChannelBytes);
}

void TVisDataThread::WriteWaveform(uint8_t* out, int waves, uint32_t channels) {
    if (channels < 1 || channels > 8) return;
    const uint32_t bytes = channels * kVisChannelBytes * 2;
    if (!m_source->Samples(m_samples, bytes)) std::memset(m_samples, 0, bytes);
    auto high = [](int16_t s) { return uint8_t(uint16_t(s) >> 8); };
    // The first channel of each frame, and the second (a mono stream's one again).
    const uint32_t second = channels == 1 ? 0 : 1;
    for (int i = 0; i < kVisChannelBytes; ++i) {
        out[i] = high(m_samples[uint32_t(i) * channels]);
        if (waves == 2) out[kVisChannelBytes + i] = high(m_samples[uint32_t(i) * channels + second]);
    }
}
