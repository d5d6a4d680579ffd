// Volume, muting and fades, checked on what the output hands on (device 0 keeps
// the most recent output for BASS_ChannelGetData, after every volume).
#include <cmath>

#include "engine/bass/Dynamic_Bass.h"
#include "tests/engine/EngineTest.h"

using namespace enginetest;

namespace {

// The largest sample of the output now (0..1).
double outputPeak(const TVAVIVerovu& engine) {
    int16_t samples[4410];
    const DWORD got = Bass.BASS_ChannelGetData(engine.OutputChannel(), samples, sizeof samples);
    if (got == DWORD(-1)) return -1;
    double peak = 0;
    for (DWORD i = 0; i < got / 2; ++i) peak = std::max(peak, std::abs(samples[i]) / 32767.0);
    return peak;
}

TEST_F(EngineTest, VolumeScalesTheGlobalVolumes) {
    openAndPlay(writeSineWav("tone.wav", 10.0));  // a 441 Hz sine at half of full scale
    pumpFor(400);
    engine->SetVolume(300);
    EXPECT_EQ(engine->Volume(), 255u);
    pumpFor(300);
    // 255 x 39 = 9945 of 10000.
    EXPECT_NEAR(outputPeak(*engine), 0.5 * 0.9945, 0.0006);
    engine->SetVolume(0);
    pumpFor(300);
    EXPECT_LT(outputPeak(*engine), 0.001);
    engine->SetVolume(128);
    pumpFor(300);
    EXPECT_NEAR(outputPeak(*engine), 0.5 * 128 * 39 / 10000.0, 0.001);
}

TEST_F(EngineTest, MutingRules) {
    openAndPlay(writeSineWav("tone.wav", 20.0));
    pumpFor(300);

    engine->SetMuted(true, 20);  // too short to fade: at once
    EXPECT_TRUE(engine->Muted());
    EXPECT_FALSE(engine->Fading());
    pumpFor(250);
    EXPECT_LT(outputPeak(*engine), 0.001);
    engine->SetMuted(true, 500);  // already muted: nothing
    EXPECT_FALSE(engine->Fading());

    engine->SetMuted(false, 500);
    EXPECT_TRUE(engine->Fading());
    engine->SetMuted(true, 0);  // ignored while the fade runs
    EXPECT_FALSE(engine->Muted());
    ASSERT_TRUE(pumpUntil([&] { return !engine->Fading(); }, 3000));
    pumpFor(250);
    EXPECT_NEAR(outputPeak(*engine), 0.5 * 0.9945, 0.002);

    // A volume written while muted takes effect at unmuting.
    engine->SetMuted(true, 0);
    engine->SetVolume(100);
    pumpFor(250);
    EXPECT_LT(outputPeak(*engine), 0.001);
    engine->SetMuted(false, 0);
    pumpFor(250);
    EXPECT_NEAR(outputPeak(*engine), 0.5 * 3900 / 10000.0, 0.001);
}

TEST_F(EngineTest, LongFadesAreCutToThreeSeconds) {
    openAndPlay(writeSineWav("tone.wav", 20.0));
    const auto start = std::chrono::steady_clock::now();
    engine->SetMuted(true, 5000);
    EXPECT_TRUE(engine->Fading());
    ASSERT_TRUE(pumpUntil([&] { return !engine->Fading(); }, 6000));
    const double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(took, 2900);
    EXPECT_LT(took, 4500);
    // The slide left the channel's own volume at 0; put it back to hear the global
    // volumes alone, which went to 0 when the slide ended.
    Bass.BASS_ChannelSetAttribute(engine->OutputChannel(), BASS_ATTRIB_VOL, 1.0f);
    pumpFor(250);
    EXPECT_LT(outputPeak(*engine), 0.001);
}

TEST_F(EngineTest, AFadeCutShortByATrackChangeNeverBlocksMuting) {
    openAndPlay(writeSineWav("tone.wav", 20.0));
    engine->SetMuted(true, 3000);
    ASSERT_TRUE(engine->Fading());
    // The new file replaces the fading output channel; freeing it ends the slide.
    ASSERT_TRUE(engine->Open(writeSineWav("other.wav", 5.0)));
    ASSERT_TRUE(pumpUntil([&] { return !engine->Fading(); }, 1000));
    engine->SetMuted(false, 0);
    EXPECT_FALSE(engine->Muted());
    engine->Play();
    pumpFor(300);
    EXPECT_NEAR(outputPeak(*engine), 0.5 * 0.9945, 0.002);
}

TEST_F(EngineTest, PauseFadesOutAndRestoresTheVolume) {
    openAndPlay(writeSineWav("tone.wav", 20.0));
    pumpFor(300);
    const auto start = std::chrono::steady_clock::now();
    engine->Pause(true);
    const double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(took, 450);  // the fade-out ran first
    EXPECT_EQ(engine->Mode(), plmPaused);
    EXPECT_FALSE(engine->Muted());
    engine->Pause(false);
    EXPECT_TRUE(engine->Fading());  // fading in
    ASSERT_TRUE(pumpUntil([&] { return !engine->Fading(); }, 3000));
    pumpFor(250);
    EXPECT_NEAR(outputPeak(*engine), 0.5 * 0.9945, 0.002);
}

}  // namespace
