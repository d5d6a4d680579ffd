// The 25 frequency bands of the level display: their peaks, their fall, and
// the notifications while playing.
#include <algorithm>
#include <iterator>

#include "tests/engine/EngineTest.h"

using namespace enginetest;

namespace {

TEST_F(EngineTest, BandsTakeTheScaledPeakOfTheirBins) {
    float fft[256] = {};
    fft[1] = 0.5f;    // band 0 is bin 1 alone
    fft[5] = 0.25f;   // band 3: bins 4..6
    fft[180] = 0.1f;  // band 24: bins 157..180
    fft[181] = 1.0f;  // above the last band: ignored
    engine->UpdateBands(fft, true);
    const TBandOut& b = engine->BandOut();
    EXPECT_EQ(b[0], 40);                    // 0.5 x 80
    EXPECT_EQ(b[3], 29);                    // round(1.45 x 0.25 x 80)
    EXPECT_EQ(b[24], 37);                   // round(4.6 x 0.1 x 80)
    EXPECT_EQ(b[1], 0);
}

TEST_F(EngineTest, LevelsFallByTwoPerTickAndJumpUp) {
    float fft[256] = {};
    fft[1] = 31.0f / 80.0f;
    engine->UpdateBands(fft, true);
    EXPECT_EQ(engine->BandOut()[0], 31);
    fft[1] = 30.0f / 80.0f;  // 31 - 2 = 29, raised to the new 30
    engine->UpdateBands(fft, true);
    EXPECT_EQ(engine->BandOut()[0], 30);
    fft[1] = 0;
    for (int expect : {28, 26, 24}) {
        engine->UpdateBands(fft, true);
        EXPECT_EQ(engine->BandOut()[0], expect);
    }
}

TEST_F(EngineTest, NoSpectrumDataClearsEveryLevel) {
    float fft[256];
    std::fill(std::begin(fft), std::end(fft), 0.5f);
    engine->UpdateBands(fft, true);
    ASSERT_GT(engine->BandOut()[24], 2);
    engine->UpdateBands(fft, false);  // the output gave no data: nothing to show
    EXPECT_EQ(engine->BandOut(), TBandOut{});
}

TEST_F(EngineTest, NotifiesNewLevelsWhilePlayingOnly) {
    int notifications = 0;
    uint16_t loudest = 0;
    engine->OnNewFFTData = [&](TVAVIVerovu*, const TBandOut& bands) {
        ++notifications;
        for (uint16_t v : bands) loudest = std::max(loudest, v);
    };
    openAndPlay(writeSineWav("tone.wav", 5.0, 2, 1000.0));
    pumpFor(1000);
    EXPECT_GE(notifications, 10);  // every 25 ms on a quiet machine
    EXPECT_GT(loudest, 20);
    engine->Pause(true);
    pumpFor(100);
    const int atPause = notifications;
    pumpFor(300);
    EXPECT_EQ(notifications, atPause);
}

}  // namespace

namespace {

TEST_F(EngineTest, VisualisationScaleAcceptsItsRangeOnly) {
    EXPECT_EQ(engine->VisScale(), 512u);
    engine->SetVisScale(100);
    engine->SetVisScale(2000);
    EXPECT_EQ(engine->VisScale(), 512u);
    engine->SetVisScale(256);
    EXPECT_EQ(engine->VisScale(), 256u);
    engine->SetVisScale(1024);
    EXPECT_EQ(engine->VisScale(), 1024u);
}

}  // namespace
