// Units of the core: spectra, sample conversions, the output history, the
// clock-timed output of device 0 and the sound server connection's failures.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/core/ClockOutput.h"
#include "platform/audio/core/Fft.h"
#include "platform/audio/core/Format.h"
#include "platform/audio/core/History.h"
#include "platform/audio/core/PulseOutput.h"

using namespace qaudio;
using namespace std::chrono_literals;

TEST(AudioSpectrum, AmplitudesAreNormalisedByTheWindowSum) {
    EXPECT_EQ(fftPoints(BASS_DATA_FFT512), 512u);
    EXPECT_EQ(fftPoints(BASS_DATA_FFT2048), 2048u);
    EXPECT_EQ(fftPoints(BASS_DATA_FFT2048 | BASS_DATA_FFT_INDIVIDUAL), 2048u);
    EXPECT_EQ(fftPoints(4000), 0u);
    EXPECT_EQ(fftPoints(0x8000000F), 0u);

    std::vector<float> in(512), out(256);
    for (int amp10 : {10, 5}) {
        for (int i = 0; i < 512; ++i)
            in[i] = amp10 / 10.0f * float(std::sin(2 * std::numbers::pi * 20 * i / 512));
        computeSpectrum(in.data(), 512, 1, false, true, out.data());
        EXPECT_NEAR(out[20], amp10 / 10.0, 0.001);
        EXPECT_NEAR(out[19], amp10 / 20.0, 0.001);  // the Hann window's neighbour bins
        EXPECT_LT(out[25], 1e-4);
    }
    // Between two bins the level drops but stays well above zero.
    for (int i = 0; i < 512; ++i) in[i] = float(std::sin(2 * std::numbers::pi * 20.5 * i / 512));
    computeSpectrum(in.data(), 512, 1, false, true, out.data());
    EXPECT_GT(out[20], 0.6);
    // DC and silence.
    std::fill(in.begin(), in.end(), 0.25f);
    computeSpectrum(in.data(), 512, 1, false, false, out.data());
    EXPECT_NEAR(out[0], 0.25, 1e-4);
    EXPECT_LT(out[1], 1e-4);
    std::fill(in.begin(), in.end(), 0.0f);
    computeSpectrum(in.data(), 512, 1, false, true, out.data());
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0f);
}

TEST(AudioSpectrum, IndividualChannelsAreInterleaved) {
    std::vector<float> in(2 * 2048), out(2048);
    for (int i = 0; i < 2048; ++i) {
        in[2 * i] = float(std::sin(2 * std::numbers::pi * 100 * i / 2048));
        in[2 * i + 1] = 0.5f * float(std::sin(2 * std::numbers::pi * 300 * i / 2048));
    }
    computeSpectrum(in.data(), 2048, 2, true, true, out.data());
    EXPECT_NEAR(out[2 * 100], 1.0, 0.001);
    EXPECT_LT(out[2 * 100 + 1], 1e-3);
    EXPECT_NEAR(out[2 * 300 + 1], 0.5, 0.001);
    EXPECT_LT(out[2 * 300], 1e-3);
    computeSpectrum(in.data(), 2048, 2, false, true, out.data());  // mixed: halves
    EXPECT_NEAR(out[100], 0.5, 0.001);
    EXPECT_NEAR(out[300], 0.25, 0.001);
}

TEST(AudioFormat, ConversionsRoundAndClip) {
    const float in[] = {0.0f, 1.0f, -1.0f, 2.0f, -2.0f, 0.5f, 1.0f / 32768};
    int16_t s16[7];
    floatToSamples(in, 7, 2, s16);
    EXPECT_EQ(s16[0], 0);
    EXPECT_EQ(s16[1], 32767);
    EXPECT_EQ(s16[2], -32768);
    EXPECT_EQ(s16[3], 32767);
    EXPECT_EQ(s16[4], -32768);
    EXPECT_EQ(s16[5], 16384);
    EXPECT_EQ(s16[6], 1);
    uint8_t u8[7];
    floatToSamples(in, 7, 1, u8);
    EXPECT_EQ(u8[0], 128);
    EXPECT_EQ(u8[1], 255);
    EXPECT_EQ(u8[2], 0);
    EXPECT_EQ(u8[5], 192);
    float back[7];
    samplesToFloat(s16, 7, 2, back);
    EXPECT_FLOAT_EQ(back[5], 0.5f);
    EXPECT_FLOAT_EQ(back[2], -1.0f);
    samplesToFloat(u8, 7, 1, back);
    EXPECT_FLOAT_EQ(back[0], 0.0f);
    EXPECT_FLOAT_EQ(back[5], 0.5f);
    EXPECT_FALSE(isValid(SampleFormat{0, 2, 2}));
    EXPECT_FALSE(isValid(SampleFormat{44100, 0, 2}));
    EXPECT_FALSE(isValid(SampleFormat{44100, 2, 3}));
    EXPECT_FALSE(isValid(SampleFormat{kMaxRate + 1, 2, 2}));
    EXPECT_TRUE(isValid(SampleFormat{8000, 1, 1}));
}

TEST(AudioHistory, KeepsTheLatestFramesAndReadsSilenceElsewhere) {
    History h;
    h.reset(2, 1000);
    EXPECT_EQ(h.capacity(), 1024u);
    std::vector<float> frames(2 * 1500);
    for (size_t i = 0; i < 1500; ++i) frames[2 * i] = frames[2 * i + 1] = float(i);
    h.push(frames.data(), 700);
    h.push(frames.data() + 2 * 700, 800);  // wraps
    EXPECT_EQ(h.written(), 1500u);
    std::vector<float> out(2 * 10);
    h.copy(1490, 10, out.data());
    EXPECT_EQ(out[0], 1490.0f);
    EXPECT_EQ(out[18], 1499.0f);
    h.copy(100, 4, out.data());  // no longer kept
    EXPECT_EQ(out[0], 0.0f);
    h.copy(1498, 4, out.data());  // partly not written yet
    EXPECT_EQ(out[2], 1499.0f);
    EXPECT_EQ(out[4], 0.0f);
    h.push(frames.data(), 1500);  // more than the capacity at once
    EXPECT_EQ(h.written(), 3000u);
    h.copy(2999, 1, out.data());
    EXPECT_EQ(out[0], 1499.0f);
}

TEST(AudioClockOutput, ConsumesFramesAtTheSampleRate) {
    ClockOutput out(10000, 100);  // 10 kHz, 100 ms = 1000 frames ahead at most
    std::vector<float> silence(2000);
    EXPECT_EQ(out.waitWritable(100, 5000), 1000u);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(out.write(silence.data(), 1000));
    EXPECT_NEAR(double(out.queuedFrames()), 1000, 50);
    // The next room comes as the clock consumes frames.
    EXPECT_GE(out.waitWritable(500, 500), 500u);
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GT(waited, 0.045);
    out.setPaused(true);
    const uint64_t held = out.queuedFrames();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(out.queuedFrames(), held);
    out.flush();
    EXPECT_EQ(out.queuedFrames(), 0u);
    out.setPaused(false);
    ASSERT_TRUE(out.write(silence.data(), 300));
    EXPECT_TRUE(out.drain());
    EXPECT_EQ(out.queuedFrames(), 0u);
    // An interrupt releases a waiter at once.
    ASSERT_TRUE(out.write(silence.data(), 1000));
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        out.interrupt();
    });
    EXPECT_EQ(out.waitWritable(1000, 1000), 0u);
    EXPECT_FALSE(out.drain());
    stopper.join();
    out.clearInterrupt();
    EXPECT_TRUE(out.drain());
}

// A server that is not there: no device, and the log says why.
TEST(AudioPulseDevice, AnUnreachableServerFailsWithItsReasonLogged) {
    const char* oldServer = getenv("PULSE_SERVER");
    const std::string savedServer = oldServer ? oldServer : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/quillet-test/native", 1);
    setenv("QUILLET_LOG", "1", 1);
    for (int attempt = 0; attempt < 2; ++attempt) {  // the teardown leaves nothing behind
        testing::internal::CaptureStderr();
        EXPECT_EQ(PulseDevice::connect(), nullptr);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.rfind("quillet: audio: ", 0), 0u) << log;
        EXPECT_NE(log.find("sound server"), std::string::npos) << log;
        // The reason follows the last ": " and is not empty.
        const size_t colon = log.rfind(": ");
        ASSERT_NE(colon, std::string::npos);
        EXPECT_GT(log.size(), colon + 3) << log;
    }
    unsetenv("QUILLET_LOG");
    if (oldServer)
        setenv("PULSE_SERVER", savedServer.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}
