// TFMain's spectrum panel: the gradient, the two bar styles, the peak
// markers and the digit display.
#include <gtest/gtest.h>

#include "shell/UMain.h"
#include "shell/USkin.h"
#include "tests/shell/SkinTestUtil.h"

namespace {

class Spectrum : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<TFMain>(PortableFolders(dir.path.string()));
        ASSERT_TRUE(ExtractDefaultSkin(form->SkinsWriteFolder()));
        ASSERT_TRUE(form->LoadSkin(form->SkinPath("default.skn")));
        form->ApplyButtonSettings();
        form->PrepareSpectrum();
        bands.fill(0);
    }
    const QImage& frame() const { return form->SpectrumFrame(); }
    QRgb gradient(int row) const { return Rgb(form->SpectrumGradient(), 0, row); }
    QRgb background(int x, int y) const {
        return Rgb(form->Background(), form->pVis->x() + x, form->pVis->y() + y);
    }
    void draw() { form->DrawSpectrum(bands); }

    TempDir dir;
    std::unique_ptr<TFMain> form;
    TBandOut bands{};
    static constexpr int H = 14;
};

}  // namespace

TEST_F(Spectrum, PanelAndGradientFollowTheSkin) {
    EXPECT_EQ(frame().size(), QSize(40, H + 1));
    EXPECT_EQ(form->pVis->height(), H + 1);
    EXPECT_EQ(form->SpectrumGradient().size(), QSize(2, H));
    EXPECT_EQ(gradient(0), 0xff0000u);      // top
    EXPECT_EQ(gradient(H / 2), 0xffff00u);  // middle at half height
    EXPECT_EQ(gradient(3), 0xff6d00u);      // 2*3*(255-0)/14 = 109.3 -> 109
    EXPECT_EQ(gradient(H - 1), 0x9fff00u);  // red 255 + 2*6*(143-255)/14 = 159
    // Before drawing the panel shows the skin background.
    EXPECT_EQ(Rgb(frame(), 5, 5), background(5, 5));
}

TEST_F(Spectrum, ModeZeroBarsTakeTheGradientOfTheirHeight) {
    bands[0] = 5;
    bands[1] = 40;  // above H: drawn as H
    draw();
    for (int y = H - 5; y < H; ++y) EXPECT_EQ(Rgb(frame(), 2, y), gradient(y)) << y;
    EXPECT_EQ(Rgb(frame(), 3, H - 1), gradient(H - 1));
    EXPECT_EQ(Rgb(frame(), 2, H - 6), background(2, H - 6));
    EXPECT_EQ(Rgb(frame(), 4, H - 1), background(4, H - 1));  // the gap
    EXPECT_EQ(Rgb(frame(), 5, 0), gradient(0));               // band 2 from x = 5, full height
    EXPECT_EQ(Rgb(frame(), 5, H), background(5, H));          // the extra row stays
}

TEST_F(Spectrum, PeakHoldsEightFramesThenFallsFaster) {
    bands[3] = 10;
    draw();
    EXPECT_DOUBLE_EQ(form->PeakLevels[3], 10.01);
    bands[3] = 0;
    const int x = 2 + 3 * 3;
    std::vector<double> levels;
    for (int i = 0; i < 12; ++i) {
        draw();
        levels.push_back(form->PeakLevels[3]);
        if (i == 0) {
            EXPECT_EQ(Rgb(frame(), x, H - 10), 0xffffffu);  // the marker, peak colour
        }
    }
    for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(levels[i], 10.01) << i;
    EXPECT_NEAR(levels[9], 10.01 - 0.3, 1e-9);
    EXPECT_NEAR(levels[10], 10.01 - 0.3 - 0.6, 1e-9);
    EXPECT_NEAR(levels[11], 10.01 - 0.3 - 0.6 - 0.9, 1e-9);
    // Once it rounds to the band's level 0 the peak rests just above it.
    for (int i = 0; i < 40; ++i) draw();
    EXPECT_DOUBLE_EQ(form->PeakLevels[3], 0.01);
}

TEST_F(Spectrum, PeaksFromATallerPanelStayInside) {
    form->PeakLevels.fill(5000.0);
    form->PrepareSpectrum();
    bands[0] = 2;
    draw();
    EXPECT_EQ(Rgb(frame(), 5, 0), 0xffffffu);  // clamped to H: the top row
}

TEST_F(Spectrum, ModeOneJoinsBarsAndStaysInTheBitmap) {
    form->SetVisMode(1);
    EXPECT_EQ(form->BarWidth, 1);
    bands[0] = 4;
    bands[1] = 2;
    draw();
    // The bar: rows H - 3 .. H get the strip's rows 0 .. 3.
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Rgb(frame(), 2, H - 3 + k), gradient(k)) << k;
    // The column between, from (2H - 4 - 2) / 2 + 1 = 12 over 4 rows, clipped at row H.
    EXPECT_EQ(Rgb(frame(), 3, 12), gradient(0));
    EXPECT_EQ(Rgb(frame(), 3, 14), gradient(2));
    EXPECT_EQ(Rgb(frame(), 3, 11), background(3, 11));
    // Every band at full height reaches far below the panel: clipped.
    bands.fill(60000);
    draw();
    EXPECT_EQ(Rgb(frame(), 2, 1), gradient(0));
    EXPECT_EQ(form->PeakLevels[0], 0.0);  // no peaks in this style
}

TEST_F(Spectrum, DigitsShowTheTimes) {
    const QImage& digits = BuiltinDigits();
    const QRgb key = Rgb(digits, 1, 1);
    // Cell c = 9, d = min(9, 40 / 5) = 8; five cells from x = 0.
    auto cellMatches = [&](int position, int cell) {
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 8; ++x) {
                const QRgb want = Rgb(digits, cell * 9 + x * 9 / 8, y);
                const QRgb got = Rgb(frame(), position * 8 + x, y);
                if (want != key && got != want) return false;
                if (want == key && got != background(position * 8 + x, y)) return false;
            }
        return true;
    };
    form->SetVisMode(3);
    form->TotalTimeText = FormatDuration((3600 + 2 * 60 + 3) * 1000);  // 01:02:03
    draw();
    EXPECT_TRUE(cellMatches(0, 0));
    EXPECT_TRUE(cellMatches(1, 2));
    EXPECT_TRUE(cellMatches(2, 10));
    EXPECT_TRUE(cellMatches(3, 0));
    EXPECT_TRUE(cellMatches(4, 3));
    EXPECT_FALSE(cellMatches(4, 8));
    form->SetVisMode(2);
    form->OnGetPosition = [] { return 83000u; };  // 01:23
    draw();
    EXPECT_TRUE(cellMatches(0, 0));
    EXPECT_TRUE(cellMatches(1, 1));
    EXPECT_TRUE(cellMatches(3, 2));
    EXPECT_TRUE(cellMatches(4, 3));
}

TEST_F(Spectrum, NarrowDigitCellsAreCentred) {
    // The fixture's panel is 50 wide: d = min(9, 10) = 9 < 10, so the cells
    // start at (50 - 45) / 2 = 2.
    ASSERT_TRUE(form->LoadSkin(SkinFixture("paper.skn")));
    form->ApplyButtonSettings();
    form->PrepareSpectrum();
    form->SetVisMode(3);
    form->TotalTimeText = "88:88";
    draw();
    const QImage& f = frame();
    auto changed = [&](int x) {
        for (int y = 0; y < 11; ++y)
            if (Rgb(f, x, y) != background(x, y)) return true;
        return false;
    };
    EXPECT_FALSE(changed(0));
    EXPECT_FALSE(changed(1));
    EXPECT_TRUE(changed(2 + 2));  // the 8's left segments at cell x 2
    EXPECT_FALSE(changed(2 + 45));
}
