// Real sound: plays a 1 kHz tone through the sound server's default output
// (the PulseAudio null sink of the test services), records the sink's
// monitor and checks what was heard: level, frequency, length, and a pause.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/audio/AudioTest.h"
#include "tests/common/SinkRecording.h"

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

using soundtest::kRate;
constexpr double kToneSeconds = 3.0;
constexpr double kToneRms = 0.5 / 1.41421356;  // the fixture's sine is at half of full scale

struct Heard {
    double soundSeconds = 0;  // 10 ms blocks with the tone, in total
    double longestGap = 0;    // the longest silence between first and last sound
    double frequency = 0;     // from zero crossings in the sounding blocks
    double rms = 0;           // over the sounding blocks
};

Heard analyse(const std::vector<float>& s) {
    const size_t block = size_t(kRate / 100);
    std::vector<bool> sound;
    std::vector<double> rms;
    for (size_t at = 0; at + block <= s.size(); at += block) {
        double e = 0;
        for (size_t i = at; i < at + block; ++i) e += double(s[i]) * s[i];
        rms.push_back(std::sqrt(e / block));
        sound.push_back(rms.back() > 0.05);
    }
    Heard h;
    size_t first = sound.size(), last = 0, blocks = 0, gap = 0;
    double energy = 0;
    for (size_t b = 0; b < sound.size(); ++b) {
        if (!sound[b]) continue;
        if (first == sound.size()) first = b;
        if (last && b - last - 1 > gap) gap = b - last - 1;
        last = b;
        ++blocks;
        energy += rms[b] * rms[b];
    }
    if (!blocks) return h;
    h.soundSeconds = blocks / 100.0;
    h.longestGap = gap / 100.0;
    h.rms = std::sqrt(energy / blocks);
    // Frequency: rising zero crossings over the first 500 ms of steady tone,
    // from the first crossing to the last one counted.
    const size_t from = (first + 5) * block, to = std::min(s.size(), from + size_t(kRate / 2));
    size_t firstCross = 0, lastCross = 0, rising = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (!rising) firstCross = i;
            lastCross = i;
            ++rising;
        }
    }
    if (rising > 1) h.frequency = (rising - 1) * kRate / double(lastCross - firstCross);
    return h;
}

struct SoundEnvironment : ::testing::Environment {
    void SetUp() override {
        if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) {
            if (std::getenv("PULSE_SINK")) FAIL() << "no sound server, error " << BASS_ErrorGetCode();
        }
        BASS_SetConfig(BASS_CONFIG_BUFFER, 3000);
        BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000);
    }
    void TearDown() override { BASS_Free(); }
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new SoundEnvironment);

DWORD feedProc(HSTREAM, void* buffer, DWORD length, void* user) {
    const DWORD source = *static_cast<DWORD*>(user);
    const DWORD n = BASS_ChannelGetData(source, buffer, length);
    if (n == DWORD(-1)) return BASS_STREAMPROC_END;
    return n < length ? n | BASS_STREAMPROC_END : n;
}

// Plays `channel` with a 1 s pause after 1 s, until its end sync; returns
// what the sink's monitor heard.
Heard playAndRecord(DWORD channel) {
    const char* sink = std::getenv("PULSE_SINK");
    soundtest::Recorder rec(sink ? sink : "quillet_sink");
    EXPECT_TRUE(rec.running());
    std::this_thread::sleep_for(300ms);
    SyncProbe end;
    EXPECT_NE(end.attach(channel, BASS_SYNC_END), 0u);
    const int64_t t0 = nowUs();
    EXPECT_TRUE(BASS_ChannelPlay(channel, FALSE));
    std::this_thread::sleep_for(1s);
    // With a 3 s playback buffer configured, no more than ~150 ms is queued
    // ahead of the ear, and the position is what has been heard.
    const DWORD ahead = BASS_ChannelGetData(channel, nullptr, BASS_DATA_AVAILABLE);
    EXPECT_LE(ahead, DWORD(kRate * 4 * 0.15));
    const double position = positionSeconds(channel);
    const double elapsed = double(nowUs() - t0) / 1e6;
    std::printf("after %.3f s: position %.3f s, %.1f ms queued\n", elapsed, position,
                ahead / (kRate * 4) * 1000);
    EXPECT_NEAR(position, elapsed, 0.15);
    EXPECT_TRUE(BASS_ChannelPause(channel));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(BASS_ChannelPlay(channel, FALSE));
    EXPECT_TRUE(waitFor([&] { return end.calls > 0; }, 10s));
    std::this_thread::sleep_for(300ms);
    return analyse(rec.finish());
}

void expectTone(const Heard& h) {
    std::printf("heard %.2f s of tone, longest gap %.2f s, %.1f Hz, rms %.3f\n", h.soundSeconds, h.longestGap,
                h.frequency, h.rms);
    EXPECT_NEAR(h.soundSeconds, kToneSeconds, 0.2);
    EXPECT_NEAR(h.longestGap, 1.0, 0.2);
    EXPECT_NEAR(h.frequency, 1000.0, 10.0);
    EXPECT_NEAR(h.rms, kToneRms, kToneRms * 0.1);
}

}  // namespace

TEST(AudioSound, AFilePlayedOnTheDefaultOutputIsHeard) {
    BASS_INFO info;
    if (!BASS_GetInfo(&info)) GTEST_SKIP() << "no sound server";
    const DWORD h = BASS_StreamCreateFile(FALSE, fixture("tone-1k-3s.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    expectTone(playAndRecord(h));
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioSound, AUserStreamFedFromADecodingChannelIsHeard) {
    BASS_INFO info;
    if (!BASS_GetInfo(&info)) GTEST_SKIP() << "no sound server";
    DWORD source = BASS_StreamCreateFile(FALSE, fixture("tone-1k-3s.mp3").c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(source, 0u);
    const DWORD fed = BASS_StreamCreate(44100, 2, 0, &feedProc, &source);
    ASSERT_NE(fed, 0u);
    expectTone(playAndRecord(fed));
    EXPECT_TRUE(BASS_StreamFree(fed));
    EXPECT_TRUE(BASS_StreamFree(source));
}
