// The plug-in's drawing without a window: clipping, the bars' fall and peaks, the
// channel layouts and the scope's trails.
#include <gtest/gtest.h>

#include <cstring>

#include "plugins/visual/VisDraw.h"

namespace {

using quillet::vis::BandsView;
using quillet::vis::Canvas;
using quillet::vis::kSamples;
using quillet::vis::ScopeView;

constexpr std::uint32_t kBackground = 0x0b0d16;
constexpr std::uint32_t kPeak = 0xe8e8f0;

bool lit(std::uint32_t p) {
    return ((p >> 16) & 0xff) > 0x60 || ((p >> 8) & 0xff) > 0x60 || (p & 0xff) > 0x60;
}

// Lit pixels in column x between rows [top, bottom).
int litInColumn(const Canvas& c, int x, int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y) n += lit(c.pixel(x, y));
    return n;
}

TEST(VisCanvas, DrawingIsClippedAndSizesAreBounded) {
    Canvas c;
    c.resize(10, 5);
    c.fill(1);
    c.fillRect(-5, -5, 3, 2, 7);  // the top-left corner only
    c.fillRect(8, 3, 100, 100, 9);
    c.fillRect(6, 0, 4, 5, 5);  // empty: right before left
    c.vline(5, 100, -100, 3);   // the whole column, given bottom first
    c.vline(-1, 0, 4, 3);
    c.vline(10, 0, 4, 3);
    EXPECT_EQ(c.pixel(0, 0), 7u);
    EXPECT_EQ(c.pixel(2, 1), 7u);
    EXPECT_EQ(c.pixel(3, 1), 1u);
    EXPECT_EQ(c.pixel(9, 4), 9u);
    EXPECT_EQ(c.pixel(7, 4), 1u);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(c.pixel(5, y), 3u);
    EXPECT_EQ(c.pixel(-1, 0), 0u);
    EXPECT_EQ(c.pixel(10, 0), 0u);

    const int sizes[][4] = {{-3, 4, 0, 4}, {5, -1, 5, 0}, {1 << 20, 2, quillet::vis::kMaxSide, 2}};
    for (const auto& s : sizes) {
        c.resize(s[0], s[1]);
        EXPECT_EQ(c.width(), s[2]);
        EXPECT_EQ(c.height(), s[3]);
    }
}

TEST(VisCanvas, FadingHalvesEveryChannel) {
    Canvas c;
    c.resize(2, 1);
    c.fill(0xff8102);
    c.fadeHalf();
    EXPECT_EQ(c.pixel(1, 0), 0x7f4001u);
}

TEST(VisAxis, SampleRatesAndBarCountsAreBounded) {
    const int rates[][2] = {{0, 44100}, {-5, 44100}, {100, 8000}, {48000, 48000}, {1 << 30, 768000}};
    for (const auto& r : rates) EXPECT_EQ(quillet::vis::saneSampleRate(r[0]), r[1]) << r[0];
    EXPECT_EQ(quillet::vis::barCount(0), 8);
    EXPECT_EQ(quillet::vis::barCount(512), 64);
    EXPECT_EQ(quillet::vis::barCount(100000), 160);
    // The top of the axis: the last bin at 44.1 kHz, 16 kHz at 96 kHz.
    EXPECT_NEAR(quillet::vis::bandsTopHz(44100), 576 * 44100.0 / 2048, 1e-6);
    EXPECT_DOUBLE_EQ(quillet::vis::bandsTopHz(96000), quillet::vis::kHighHz);
}

class Bands : public ::testing::Test {
  protected:
    void SetUp() override {
        canvas.resize(400, 200);
        std::memset(data, 0, sizeof data);
    }
    Canvas canvas;
    BandsView view;
    unsigned char data[2][kSamples];
};

TEST_F(Bands, EveryBinOfTheAxisLightsExactlyOneBar) {
    const int pitch = canvas.width() / quillet::vis::barCount(canvas.width());
    int previous = -1;
    // Bins from 280 Hz up: wider bars than bins, so each bin belongs to one bar,
    // and the bars move right as the frequency rises.
    for (int bin = 12; bin < kSamples; bin += 7) {
        std::memset(data, 0, sizeof data);
        data[0][bin] = 255;
        BandsView fresh;
        fresh.draw(canvas, data, 2, 44100, 0);
        int first = -1, last = -1;
        for (int x = 0; x < canvas.width(); ++x) {
            if (litInColumn(canvas, x, 0, 100) == 0) continue;
            if (first < 0) first = x;
            last = x;
        }
        ASSERT_GE(first, 0) << bin;
        EXPECT_LE(last - first + 1, pitch) << bin;
        EXPECT_GE(first, previous) << bin;
        previous = first;
    }
}

TEST_F(Bands, BarsFallAndPeaksHoldThenFall) {
    data[0][45] = 255;
    view.draw(canvas, data, 2, 44100, 0);
    int column = -1;
    for (int x = 0; x < canvas.width() && column < 0; ++x)
        if (litInColumn(canvas, x, 0, 100) > 0) column = x;
    ASSERT_GE(column, 0);
    const int full = litInColumn(canvas, column, 0, 100);
    EXPECT_GE(full, 95);  // a byte of 255 fills the half (99 rows), the peak mark on top

    std::memset(data, 0, sizeof data);
    view.draw(canvas, data, 2, 44100, 0.2);
    const int fallen = litInColumn(canvas, column, 0, 100);
    EXPECT_LT(fallen, full);
    EXPECT_GT(fallen, 2);
    EXPECT_EQ(canvas.pixel(column, 0), kPeak) << "the peak holds at the top";

    for (int i = 0; i < 30; ++i) view.draw(canvas, data, 2, 44100, 0.1);
    EXPECT_EQ(litInColumn(canvas, column, 0, 100), 0) << "all fallen after three seconds";
}

TEST_F(Bands, OneChannelShowsInBothHalvesAndNoneShowsNothing) {
    data[0][100] = 200;
    struct Case {
        int channels;
        bool up, down;
    };
    const Case cases[] = {
        {1, true, true}, {2, true, false}, {0, false, false}, {-4, false, false}, {9, true, false}};
    for (const Case& c : cases) {
        BandsView fresh;
        fresh.draw(canvas, data, c.channels, 44100, 0);
        int up = 0, down = 0;
        for (int x = 0; x < canvas.width(); ++x) {
            up += litInColumn(canvas, x, 0, 100);
            down += litInColumn(canvas, x, 101, 200);
        }
        EXPECT_EQ(up > 0, c.up) << c.channels;
        EXPECT_EQ(down > 0, c.down) << c.channels;
        EXPECT_EQ(canvas.pixel(0, 199), kBackground);
    }
}

TEST(VisScope, TracesSitInTheirLanesAndTheOldOnesFade) {
    Canvas canvas;
    canvas.resize(300, 200);
    unsigned char wave[2][kSamples];
    std::memset(wave, 0, sizeof wave);
    std::memset(wave[0], 100, kSamples);                               // high in the upper lane
    std::memset(wave[1], static_cast<unsigned char>(-100), kSamples);  // low in the lower lane
    ScopeView view;
    view.draw(canvas, wave, 2);
    const int upperY = 50 - 100 * 49 / 128, lowerY = 150 + 100 * 49 / 128;
    EXPECT_TRUE(lit(canvas.pixel(150, upperY)));
    EXPECT_TRUE(lit(canvas.pixel(150, lowerY + 1)) || lit(canvas.pixel(150, lowerY)));
    const std::uint32_t before = canvas.pixel(150, upperY);

    // The trace moves: the old one is still there, at half the brightness.
    std::memset(wave, 0, sizeof wave);
    view.draw(canvas, wave, 2);
    EXPECT_EQ(canvas.pixel(150, upperY), (before >> 1) & 0x7f7f7fu);
    EXPECT_TRUE(lit(canvas.pixel(150, 50)));

    // One channel: a single trace over the whole height.
    std::memset(wave[0], 100, kSamples);
    ScopeView single;
    canvas.resize(300, 201);
    single.draw(canvas, wave, 1);
    EXPECT_TRUE(lit(canvas.pixel(10, 100 - 100 * 99 / 128)));
    EXPECT_EQ(litInColumn(canvas, 10, 101, 201), 0);
}

TEST(VisScope, TinyAndEmptyCanvasesAreDrawnWithoutOverrun) {
    unsigned char wave[2][kSamples];
    for (int i = 0; i < kSamples; ++i) wave[0][i] = wave[1][i] = static_cast<unsigned char>(i * 37);
    unsigned char bins[2][kSamples];
    std::memcpy(bins, wave, sizeof bins);
    const int sizes[][2] = {{0, 0}, {1, 1}, {1, 500}, {700, 1}, {2, 2}, {5000, 3}};
    for (const auto& s : sizes) {
        Canvas canvas;
        canvas.resize(s[0], s[1]);
        ScopeView scope;
        BandsView bands;
        for (int channels = -1; channels <= 3; ++channels) {
            scope.draw(canvas, wave, channels);
            bands.draw(canvas, bins, channels, channels * 30000, 0.05);
        }
    }
}

}  // namespace
