// Playing channels on device 0 (no sound, timed by the clock): positions,
// pause and stop, the end, slides, blocking callbacks, what GetData sees.
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

#include "tests/audio/AudioTest.h"

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

tonefile::Header sine(double secs, float amplitude = 0.5f, float freq = 1000.0f) {
    tonefile::Header h;
    h.frames = uint64_t(secs * 44100);
    h.amplitude = amplitude;
    h.frequency = freq;
    return h;
}

DWORD playFile(const tonefile::Header& h, const char* name = "tone.qtone") {
    const DWORD s = BASS_StreamCreateFile(FALSE, toneFile(h, name).c_str(), 0, 0, 0);
    EXPECT_NE(s, 0u) << BASS_ErrorGetCode();
    return s;
}

// A user stream whose callback blocks, when told to, until released.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool block = false;
    bool blocked = false;
    bool open = false;
    static DWORD proc(HSTREAM, void* buffer, DWORD length, void* user) {
        auto* g = static_cast<Gate*>(user);
        std::unique_lock lock(g->m);
        if (g->block) {
            g->blocked = true;
            g->cv.notify_all();
            g->cv.wait(lock, [g] { return g->open; });
        }
        std::memset(buffer, 0, length);
        return length;
    }
    void waitBlocked() {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [this] { return blocked; }));
    }
    void release() {
        std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
};

}  // namespace

TEST(AudioPlayback, PositionFollowsTheClockThroughPauseAndStop) {
    const DWORD h = playFile(sine(10));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_FALSE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
    std::this_thread::sleep_for(500ms);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The position is what has been "heard": the clock, not what was decoded ahead.
    EXPECT_NEAR(positionSeconds(h), elapsed, 0.15);

    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));
    EXPECT_FALSE(BASS_ChannelPause(h));
    const double paused = positionSeconds(h);
    std::this_thread::sleep_for(300ms);
    EXPECT_DOUBLE_EQ(positionSeconds(h), paused);

    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    std::this_thread::sleep_for(300ms);
    EXPECT_NEAR(positionSeconds(h), paused + 0.3, 0.15);

    ASSERT_TRUE(BASS_ChannelStop(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    const double stopped = positionSeconds(h);
    EXPECT_NEAR(stopped, paused + 0.3, 0.2);
    std::this_thread::sleep_for(200ms);
    EXPECT_DOUBLE_EQ(positionSeconds(h), stopped);

    // A seek while playing is heard at once; a restart goes back to 0.
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 5.0), BASS_POS_BYTE));
    EXPECT_NEAR(positionSeconds(h), 5.0, 0.05);
    std::this_thread::sleep_for(200ms);
    EXPECT_NEAR(positionSeconds(h), 5.2, 0.15);
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_LT(positionSeconds(h), 0.1);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioPlayback, EndIsReportedWhenTheLastSoundIsHeard) {
    const DWORD h = playFile(sine(0.4));
    SyncProbe end;
    ASSERT_NE(end.attach(h, BASS_SYNC_END), 0u);
    const int64_t t0 = nowUs();
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(waitFor([&] { return end.calls > 0; }, 5s));
    const double at = double(end.firstAtUs - t0) / 1e6;
    EXPECT_GT(at, 0.35);
    EXPECT_LT(at, 0.75);
    EXPECT_TRUE(end.onLibraryThread);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), BASS_ChannelGetLength(h, BASS_POS_BYTE));
    // Played again from the start after its end.
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    std::this_thread::sleep_for(100ms);
    EXPECT_LT(positionSeconds(h), 0.3);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioPlayback, SlidesFollowTheClockInEveryStateAndEndWithTheirSync) {
    const DWORD h = playFile(sine(20));
    for (int state = 0; state < 3; ++state) {
        if (state == 1) {
            ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        }
        if (state == 2) {
            ASSERT_TRUE(BASS_ChannelPause(h));
        }
        SyncProbe slide;
        const HSYNC s = slide.attach(h, BASS_SYNC_SLIDE);
        ASSERT_NE(s, 0u);
        const int64_t t0 = nowUs();
        ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, state == 1 ? 0.0f : 0.2f, 300));
        ASSERT_TRUE(waitFor([&] { return slide.calls > 0; }, 5s)) << "state " << state;
        const double at = double(slide.firstAtUs - t0) / 1e6;
        EXPECT_GT(at, 0.28) << "state " << state;
        EXPECT_LT(at, 0.6) << "state " << state;
        EXPECT_EQ(slide.data, DWORD(BASS_ATTRIB_VOL));
        BASS_ChannelRemoveSync(h, s);
    }
    // Freeing the channel mid-slide ends the slide at once, with its sync.
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    SyncProbe slide;
    ASSERT_NE(slide.attach(h, BASS_SYNC_SLIDE), 0u);
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 1.0f, 10000));
    std::this_thread::sleep_for(50ms);
    const int64_t t0 = nowUs();
    ASSERT_TRUE(BASS_StreamFree(h));
    ASSERT_TRUE(waitFor([&] { return slide.calls > 0; }, 2s));
    EXPECT_LT(double(slide.firstAtUs - t0) / 1e6, 0.5);
}

TEST(AudioPlayback, ASlideReplacedOrCutShortStillEndsWithItsSync) {
    const DWORD h = playFile(sine(5));
    SyncProbe slide;
    ASSERT_NE(slide.attach(h, BASS_SYNC_SLIDE), 0u);
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 0.0f, 5000));
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 1.0f, 5000));  // replaces the first
    ASSERT_TRUE(waitFor([&] { return slide.calls == 1; }, 2s));
    ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 0.5f));  // cuts the second short
    ASSERT_TRUE(waitFor([&] { return slide.calls == 2; }, 2s));
    EXPECT_FALSE(BASS_ChannelSlideAttribute(h, 77, 0.0f, 100));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioPlayback, VolumesScaleWhatIsHeardWithinTheQueue) {
    const DWORD h = playFile(sine(10, 1.0f));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    std::this_thread::sleep_for(300ms);
    auto peak = [&] {
        std::vector<int16_t> buf(2 * 2048);
        EXPECT_EQ(BASS_ChannelGetData(h, buf.data(), DWORD(buf.size() * 2)), DWORD(buf.size() * 2));
        int m = 0;
        for (int16_t v : buf) m = std::max(m, std::abs(int(v)));
        return m / 32768.0;
    };
    EXPECT_NEAR(peak(), 1.0, 0.02);
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 5000));
    ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 0.5f));
    std::this_thread::sleep_for(300ms);  // more than the queue ahead of the ear
    EXPECT_NEAR(peak(), 0.25, 0.02);
    ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000));
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 0.0f, 100));
    std::this_thread::sleep_for(400ms);
    EXPECT_LT(peak(), 0.01);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioPlayback, SpectrumOfAFullScaleSineReadsOneInItsBin) {
    // Frequencies that fall on bin 12 of a 512-point and bin 48 of a
    // 2048-point transform at 44.1 kHz.
    const float freq = 44100.0f * 12 / 512;
    tonefile::Header h = sine(10, 1.0f, freq);
    h.mode = tonefile::kSineHalfRight;
    const DWORD dec = BASS_StreamCreateFile(FALSE, toneFile(h, "d.qtone").c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(dec, 0u);
    std::vector<float> fft(2048);
    ASSERT_NE(BASS_ChannelGetData(dec, fft.data(), BASS_DATA_FFT512), DWORD(-1));
    EXPECT_NEAR(fft[12], 0.75, 0.03);  // the mix of 1.0 and 0.5
    EXPECT_LT(fft[30], 0.01);
    EXPECT_LT(fft[0], 0.01);
    ASSERT_NE(BASS_ChannelGetData(dec, fft.data(), BASS_DATA_FFT2048 | BASS_DATA_FFT_INDIVIDUAL), DWORD(-1));
    EXPECT_NEAR(fft[2 * 48], 1.0, 0.03);
    EXPECT_NEAR(fft[2 * 48 + 1], 0.5, 0.03);
    EXPECT_LT(fft[2 * 200], 0.01);
    EXPECT_EQ(BASS_ChannelGetData(dec, fft.data(), 0x8000000F), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    BASS_StreamFree(dec);

    // The same from a playing channel: what is being heard.
    const DWORD h2 = playFile(h);
    ASSERT_EQ(BASS_ChannelGetData(h2, fft.data(), BASS_DATA_FFT512), DWORD(-1));  // not played yet
    ASSERT_TRUE(BASS_ChannelPlay(h2, FALSE));
    std::this_thread::sleep_for(300ms);
    EXPECT_GE(BASS_ChannelGetData(h2, nullptr, BASS_DATA_AVAILABLE), 2u * 2048);
    ASSERT_NE(BASS_ChannelGetData(h2, fft.data(), BASS_DATA_FFT512), DWORD(-1));
    EXPECT_NEAR(fft[12], 0.75, 0.03);
    ASSERT_NE(BASS_ChannelGetData(h2, fft.data(), BASS_DATA_FFT2048 | BASS_DATA_FFT_INDIVIDUAL), DWORD(-1));
    EXPECT_NEAR(fft[2 * 48], 1.0, 0.03);
    EXPECT_NEAR(fft[2 * 48 + 1], 0.5, 0.03);
    EXPECT_TRUE(BASS_StreamFree(h2));
}

TEST(AudioPlayback, ABlockedCallbackStallsOnlyItsChannelAndFreeWaitsForIt) {
    for (const bool useStop : {false, true}) {
        Gate gate;
        const DWORD user = BASS_StreamCreate(44100, 2, 0, &Gate::proc, &gate);
        ASSERT_NE(user, 0u);
        const DWORD other = playFile(sine(10));
        ASSERT_TRUE(BASS_ChannelPlay(user, FALSE));
        std::this_thread::sleep_for(100ms);
        {
            std::lock_guard lock(gate.m);
            gate.block = true;
        }
        gate.waitBlocked();
        ASSERT_TRUE(BASS_ChannelPlay(other, FALSE));
        std::this_thread::sleep_for(400ms);
        EXPECT_GT(positionSeconds(other), 0.25);  // the other channel plays on

        std::atomic<bool> returned{false};
        auto done = std::async(std::launch::async, [&] {
            const BOOL ok = useStop ? BASS_ChannelStop(user) : BASS_StreamFree(user);
            returned = true;
            return ok;
        });
        std::this_thread::sleep_for(200ms);
        EXPECT_FALSE(returned) << (useStop ? "stop" : "free") << " returned while the callback ran";
        gate.release();
        ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
        EXPECT_TRUE(done.get());
        EXPECT_EQ(BASS_ChannelIsActive(user), DWORD(BASS_ACTIVE_STOPPED));
        if (useStop) {
            EXPECT_TRUE(BASS_StreamFree(user));
        }
        EXPECT_TRUE(BASS_StreamFree(other));
    }
}

namespace {
// A user stream that frees or stops its own channel from inside its callback.
struct SelfStopper {
    std::atomic<int> calls{0};
    bool freeIt = false;
    std::atomic<BOOL> result{-1};
    static DWORD proc(HSTREAM h, void* buffer, DWORD length, void* user) {
        auto* s = static_cast<SelfStopper*>(user);
        std::memset(buffer, 0, length);
        if (++s->calls == 3) s->result = s->freeIt ? BASS_StreamFree(h) : BASS_ChannelStop(h);
        return length;
    }
};
}  // namespace

TEST(AudioPlayback, ACallbackMayStopOrFreeItsOwnChannel) {
    for (const bool freeIt : {false, true}) {
        SelfStopper s;
        s.freeIt = freeIt;
        const DWORD h = BASS_StreamCreate(44100, 2, 0, &SelfStopper::proc, &s);
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        ASSERT_TRUE(waitFor([&] { return s.result != -1; }, 5s));
        EXPECT_EQ(s.result, TRUE);
        EXPECT_TRUE(waitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 2s));
        if (!freeIt) {
            EXPECT_TRUE(BASS_StreamFree(h));
        }
        EXPECT_FALSE(BASS_StreamFree(h));
    }
}

TEST(AudioPlayback, AUserStreamWithoutDataStallsAndResumes) {
    struct Tap {
        std::atomic<bool> dry{false};
        static DWORD proc(HSTREAM, void* buffer, DWORD length, void* user) {
            if (static_cast<Tap*>(user)->dry) return 0;
            std::memset(buffer, 0, length);
            return length;
        }
    } tap;
    const DWORD h = BASS_StreamCreate(44100, 2, 0, &Tap::proc, &tap);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    std::this_thread::sleep_for(100ms);
    tap.dry = true;
    EXPECT_TRUE(waitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 2s));
    const double stalledAt = positionSeconds(h);
    std::this_thread::sleep_for(200ms);
    EXPECT_NEAR(positionSeconds(h), stalledAt, 0.001);
    tap.dry = false;
    EXPECT_TRUE(waitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING; }, 2s));
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(positionSeconds(h), stalledAt + 0.1);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioPlayback, StopAndFreeOfADecodingChannelWaitForItsBlockedCallback) {
    Gate gate;
    {
        std::lock_guard lock(gate.m);
        gate.block = true;
    }
    const DWORD h = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, &Gate::proc, &gate);
    ASSERT_NE(h, 0u);
    auto reader = std::async(std::launch::async, [&] {
        char buf[4000];
        return BASS_ChannelGetData(h, buf, sizeof buf);
    });
    gate.waitBlocked();
    std::atomic<bool> stopped{false}, freed{false};
    auto stopper = std::async(std::launch::async, [&] {
        const BOOL s = BASS_ChannelStop(h);
        stopped = true;
        const BOOL f = BASS_StreamFree(h);
        freed = true;
        return s && f;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(stopped);
    EXPECT_FALSE(freed);
    gate.release();
    ASSERT_EQ(stopper.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(stopper.get());
    EXPECT_EQ(reader.get(), 4000u);  // the call that was running completes normally
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST(AudioPlayback, FreeingTheLibraryEndsEverythingAndItCanStartAgain) {
    const DWORD h = playFile(sine(10));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    SyncProbe slide, freed;
    ASSERT_NE(slide.attach(h, BASS_SYNC_SLIDE), 0u);
    ASSERT_NE(freed.attach(h, BASS_SYNC_FREE), 0u);
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 0.0f, 10000));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(BASS_Free());
    // The syncs still queued ran before BASS_Free returned.
    EXPECT_EQ(slide.calls, 1);
    EXPECT_EQ(freed.calls, 1);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_StreamCreate(44100, 2, 0, &Gate::proc, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    const DWORD again = playFile(sine(1), "again.qtone");  // the add-on stayed loaded
    ASSERT_TRUE(BASS_ChannelPlay(again, FALSE));
    SyncProbe end;
    ASSERT_NE(end.attach(again, BASS_SYNC_END), 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(again, BASS_ChannelSeconds2Bytes(again, 0.8), BASS_POS_BYTE));
    EXPECT_TRUE(waitFor([&] { return end.calls == 1; }, 3s));
    EXPECT_TRUE(BASS_StreamFree(again));
}
