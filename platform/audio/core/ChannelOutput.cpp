// The output side of a playing channel: its output thread, the volumes it
// applies, and what BASS_ChannelGetData reads of what is being heard.
#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/audio/core/Channel.h"
#include "platform/audio/core/PipeLock.h"
#include "platform/audio/core/Fft.h"

namespace qaudio {

namespace {

// Output chunks: the thread waits for room for at least kMinChunkMs and
// writes at most kMaxChunkMs at a time.
constexpr uint32_t kMinChunkMs = 40;
constexpr uint32_t kMaxChunkMs = 60;
// How long the output thread waits before asking a user stream that had no
// data again.
constexpr auto kStarvedRetry = std::chrono::milliseconds(10);

}  // namespace

int Channel::getPlayedData(void* buffer, DWORD length, DWORD& result) {
    Output* out = m_out.load();
    if (!out) return BASS_ERROR_NOPLAY;
    const uint32_t ch = m_format.channels;
    const uint64_t end = m_history.written();
    const uint64_t queued = out->queuedFrames();
    const uint64_t heard = end > queued ? end - queued : 0;
    if (length == BASS_DATA_AVAILABLE) {
        result = DWORD((end - heard) * m_format.bytesPerFrame());
        return BASS_OK;
    }
    const uint32_t points = fftPoints(length);
    const bool asFloat = (length & BASS_DATA_FLOAT) != 0;
    const uint32_t sampleBytes = asFloat ? 4 : m_format.bytesPerSample;
    size_t frames = points ? points : (length & ~BASS_DATA_FLOAT) / (size_t(sampleBytes) * ch);
    frames = std::min(frames, m_history.capacity());
    // The frames being heard now; near the end of what was written the window
    // slides back so it is always full.
    uint64_t start = heard;
    if (start + frames > end) start = end > frames ? end - frames : 0;
    thread_local std::vector<float> window;  // reused: the spectrum is read every few ms
    window.resize(frames * ch);
    m_history.copy(start, frames, window.data());
    if (points) {
        computeSpectrum(window.data(), points, ch, (length & BASS_DATA_FFT_INDIVIDUAL) != 0,
                        (length & BASS_DATA_FFT_NOWINDOW) == 0, static_cast<float*>(buffer));
        result = DWORD(frames * m_format.bytesPerFrame());
    } else {
        floatToSamples(window.data(), frames * ch, sampleBytes, buffer);
        result = DWORD(frames * sampleBytes * ch);
    }
    return BASS_OK;
}

float Channel::gain() const {
    const uint32_t global = m_music ? m_env.musicVolume->load() : m_env.streamVolume->load();
    return m_volume.load() * float(global) / 10000.0f;
}

void Channel::applyGain(float* frames, size_t count, float from, float to) const {
    const uint32_t ch = m_format.channels;
    const float pan = m_pan.load();
    const float left = ch == 2 ? std::min(1.0f, 1.0f - pan) : 1.0f;
    const float right = ch == 2 ? std::min(1.0f, 1.0f + pan) : 1.0f;
    if (from == 1.0f && to == 1.0f && left == 1.0f && right == 1.0f) return;
    const float step = count ? (to - from) / float(count) : 0.0f;
    for (size_t i = 0; i < count; ++i) {
        const float g = from + step * float(i + 1);
        float* f = frames + i * ch;
        if (ch == 2) {
            f[0] *= g * left;
            f[1] *= g * right;
        } else {
            for (uint32_t c = 0; c < ch; ++c) f[c] *= g;
        }
    }
}

// One pass per chunk; the lock hand-offs between the passes' stages are what the
// thread-safety analysis checks, so they stay in one function.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
void Channel::outputLoop() {
    Output& out = *m_output;
    const uint32_t ch = m_format.channels;
    const size_t minChunk = std::max<size_t>(1, size_t(m_format.rate) * kMinChunkMs / 1000);
    const size_t maxChunk = std::max<size_t>(minChunk, size_t(m_format.rate) * kMaxChunkMs / 1000);
    std::vector<float> buffer(maxChunk * ch);
    float lastGain = gain();
    for (;;) {
        uint64_t generation;
        {
            quillet::MutexLock lock(m_state);
            m_wake.wait(lock,
                        [this]() QUILLET_REQUIRES(m_state) { return m_quit || m_play == State::Playing; });
            if (m_quit) return;
            generation = m_generation;
        }
        const size_t room = out.waitWritable(minChunk, maxChunk);
        if (room == 0) {
            quillet::MutexLock lock(m_state);
            if (out.failed()) {
                m_play = State::Stopped;  // the server went away
                continue;
            }
            m_wake.wait(lock,
                        [&]() QUILLET_REQUIRES(m_state) { return m_quit || m_generation != generation; });
            continue;
        }
        bool reachedEnd = false;
        bool starved = false;
        {
            PipeLock pipe(*this);
            {
                quillet::MutexLock lock(m_state);
                if (m_play != State::Playing || m_generation != generation) continue;
            }
            const size_t got = pullLocked(buffer.data(), room);
            starved = got == 0 && !m_ended;
            m_starved = starved;
            const float g = gain();
            applyGain(buffer.data(), got, lastGain, g);
            lastGain = g;
            if (got) {
                m_history.push(buffer.data(), got);
                out.write(buffer.data(), got);
            }
            reachedEnd = m_ended;
            if (m_stopPending) completeStopLocked();
        }
        if (starved) {
            quillet::MutexLock lock(m_state);
            m_wake.wait_for(lock, kStarvedRetry,
                            [&]() QUILLET_REQUIRES(m_state) { return m_quit || m_generation != generation; });
            continue;
        }
        if (!reachedEnd || !out.drain()) continue;
        bool ended = false;
        {
            quillet::MutexLock lock(m_state);
            if (m_play == State::Playing && m_generation == generation && m_ended) {
                m_play = State::Stopped;
                ++m_generation;
                ended = true;
            }
        }
        if (!ended) continue;
        out.setPaused(true);
        if (!m_endRaised.exchange(true)) raise(BASS_SYNC_END, 0);
        if ((m_flags & BASS_STREAM_AUTOFREE) && m_env.freeHandle) m_env.freeHandle(m_handle);
    }
}

}  // namespace qaudio
