// TFMain: LoadSkin with its one guard, the row layout from the settings, the
// bars and the window shape.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/win/MessageBox.h"
#include "shell/Settings.h"
#include "shell/UMain.h"
#include "shell/USkin.h"
#include "tests/shell/SkinTestUtil.h"

namespace {

class MiniWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        form = std::make_unique<TFMain>(PortableFolders(dir.path.string()));
    }
    void TearDown() override { quillet::win::setMessageBoxPresenter(nullptr); }

    // The built-in skin from the skins folder, as at start-up.
    void loadDefault() {
        ASSERT_TRUE(ExtractDefaultSkin(form->SkinsWriteFolder()));
        ASSERT_TRUE(form->LoadSkin(form->SkinPath("default.skn"))) << form->SkinError();
    }
    void settings(std::vector<std::pair<std::string, std::string>> attributes) {
        TSettingsFile file(dir.path.string());
        ASSERT_TRUE(file.writeSkin(form->CurrentSkinName, attributes));
    }

    TempDir dir;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    std::unique_ptr<TFMain> form;
};

}  // namespace

TEST_F(MiniWindow, BuiltinSkinGivesTheDefaultRow) {
    loadDefault();
    EXPECT_EQ(form->MiniWidth, 40);  // LoadSkin's own layout: every x1 is 0
    EXPECT_FALSE(form->FixedStyle);
    EXPECT_EQ(form->SpectrumHeight, 14);
    form->ApplyButtonSettings();
    EXPECT_EQ(form->pVis->x(), 2);
    EXPECT_EQ(form->btnPause->x(), 42);
    EXPECT_EQ(form->btnPlay->pos(), form->btnPause->pos());
    EXPECT_EQ(form->btnPre->x(), 61);
    EXPECT_EQ(form->btnList->x(), 156);
    EXPECT_EQ(form->MiniWidth, 175);
    EXPECT_EQ(form->width(), 175);
    EXPECT_EQ(form->imgProgress->width(), 175 - 3 - 2);
    EXPECT_EQ(form->imgVol->width(), 175 - 23 - 2);
    EXPECT_EQ(form->btnPlay->y(), 5);
    EXPECT_FALSE(form->btnthumb->isVisibleTo(form.get()));  // empty thumb_image
    EXPECT_TRUE(form->miPre->isChecked());
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(MiniWindow, HidingPrevShrinksTheRowAndTheBars) {
    loadDefault();
    int reported = 0;
    form->OnMiniWidthChanged = [&](int w) { reported = w; };
    settings({{"button_check", "y,y,n,y,y,y,y,y"}});
    form->ApplyButtonSettings();
    EXPECT_EQ(form->MiniWidth, 156);
    EXPECT_EQ(reported, 156);
    EXPECT_EQ(form->btnNext->x(), 61);
    EXPECT_FALSE(form->btnPre->isVisibleTo(form.get()));
    EXPECT_FALSE(form->miPre->isChecked());
    EXPECT_EQ(form->imgProgress->width(), 151);
    EXPECT_EQ(form->imgVol->width(), 131);
}

TEST_F(MiniWindow, OrderAndCheckListsFromTheSettings) {
    loadDefault();
    settings({{"button_order", "Play,Prev,Next,Stop,Mute,Open,List,Visual"}});
    form->ApplyButtonSettings();
    EXPECT_EQ(form->pVis->x(), 2 + 7 * 19);  // Visual last: at the right end
    EXPECT_EQ(form->btnPlay->x(), 2);
    // A shorter check list hides the rest; unknown names are skipped with
    // their check entry.
    settings({{"button_order", "Visual,Foo,Play,Prev"}, {"button_check", "y,y,y"}});
    form->ApplyButtonSettings();
    EXPECT_EQ(form->MiniWidth, 2 + 40 + 19);
    EXPECT_FALSE(form->btnPre->isVisibleTo(form.get()));
    EXPECT_FALSE(form->btnList->isVisibleTo(form.get()));
}

TEST_F(MiniWindow, BarsFollowTheirSettings) {
    loadDefault();
    settings({{"progress_show", "fAlSe"}, {"volumn_show", "no"}});
    form->ApplyButtonSettings();
    EXPECT_FALSE(form->imgProgress->isVisibleTo(form.get()));
    EXPECT_FALSE(form->miProgress->isChecked());
    EXPECT_TRUE(form->imgVol->isVisibleTo(form.get()));
    EXPECT_TRUE(form->miVol->isChecked());
    // Only progress_show given: the order and visibility stay.
    EXPECT_EQ(form->MiniWidth, 175);
}

TEST_F(MiniWindow, StyleFixedInAnyCase) {
    loadDefault();
    EXPECT_TRUE(form->miBtnvisible->isEnabled());
    ASSERT_TRUE(form->LoadSkin(SkinFixture("style-fixed.skn")));  // style="fixed"
    EXPECT_TRUE(form->FixedStyle);
    EXPECT_FALSE(form->miBtnvisible->isEnabled());
    ASSERT_TRUE(form->LoadSkin(SkinFixture("paper.skn")));  // style="grid"
    EXPECT_FALSE(form->FixedStyle);
}

TEST_F(MiniWindow, HiddenControlGivesUpItsStep) {
    ASSERT_TRUE(form->LoadSkin(SkinFixture("paper.skn"))) << form->SkinError();
    EXPECT_FALSE(form->btnStop->isVisibleTo(form.get()));
    EXPECT_TRUE(form->btnMute->isVisibleTo(form.get()));  // visible="true " is not "false"
    EXPECT_EQ(form->btnNext->x(), 44);
    EXPECT_EQ(form->btnMute->x(), 66);  // moved left by Stop's 22
    EXPECT_EQ(form->pVis->x(), 132);
    EXPECT_EQ(form->MiniWidth, 182);
    EXPECT_EQ(form->EdgeMargin, 3);  // edge=3 without quotes
    EXPECT_EQ(form->SpectrumHeight, 18);
    // An empty thumb_image hides the thumb; a given one shows.
    EXPECT_TRUE(form->btnthumb->isVisibleTo(form.get()));
    EXPECT_FALSE(form->btnvthumb->isVisibleTo(form.get()));
    EXPECT_EQ(form->imgVol->width(), 30);  // its bar_image
}

TEST_F(MiniWindow, VisualWithoutTopColourKeepsTheColours) {
    ASSERT_TRUE(form->LoadSkin(SkinFixture("paper.skn")));
    EXPECT_EQ(form->SpectrumTopColor & 0xFFFFFF, 0xff0000u);
    EXPECT_EQ(form->SpectrumMidColor & 0xFFFFFF, 0xffff00u);
    EXPECT_EQ(form->SpectrumBtmColor & 0xFFFFFF, 0x81fe00u);
    EXPECT_EQ(form->SpectrumPeakColor & 0xFFFFFF, 0xc0c0c0u);
    loadDefault();
    EXPECT_EQ(form->SpectrumBtmColor & 0xFFFFFF, 0x8fff00u);
    ASSERT_TRUE(form->LoadSkin(SkinFixture("paper.skn")));
    EXPECT_EQ(form->SpectrumBtmColor & 0xFFFFFF, 0x8fff00u);
    EXPECT_EQ(form->SpectrumPeakColor & 0xFFFFFF, 0xffffffu);
}

TEST_F(MiniWindow, MissingArchiveIsReportedAndReplacedByTheBuiltinSkin) {
    form->CurrentSkinName = "gone.skn";
    const std::string missing = form->SkinPath("gone.skn");
    EXPECT_TRUE(form->LoadSkin(missing));
    const auto shown = boxes->boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, missing + " 不存在, 使用默认皮肤");
    EXPECT_EQ(shown[0].caption, "Quillet");
    EXPECT_EQ(shown[0].type, UINT(MB_ICONINFORMATION));
    EXPECT_EQ(form->CurrentSkinName, "default.skn");
    EXPECT_TRUE(std::filesystem::exists(form->SkinsWriteFolder() + "/default.skn"));
    EXPECT_EQ(form->Background().size(), QSize(200, 30));
}

TEST_F(MiniWindow, FirstFailingStepKeepsWhatWasApplied) {
    struct Case {
        const char* fixture;
        int backgroundWidth;  // 240: the paper background was applied
        int preFrame;         // 22: paper's prev strip was applied
        int nextFrame;
    } cases[] = {
        {"broken-xml.skn", 200, 19, 19},     {"bomb.skn", 200, 19, 19},
        {"huge-bitmap.skn", 240, 19, 19},    {"zero-bitmap.skn", 240, 19, 19},
        {"non-bmp-member.skn", 240, 22, 19}, {"missing-member.skn", 240, 22, 22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        loadDefault();
        EXPECT_FALSE(form->LoadSkin(SkinFixture(c.fixture)));
        EXPECT_FALSE(form->SkinError().empty());
        EXPECT_EQ(form->Background().width(), c.backgroundWidth);
        EXPECT_EQ(form->btnPre->FrameWidth(), c.preFrame);
        EXPECT_EQ(form->btnNext->FrameWidth(), c.nextFrame);
    }
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(MiniWindow, UnusableSkinAtStartAppliesTheBuiltinFromMemory) {
    std::filesystem::create_directories(form->SkinsWriteFolder());
    std::ofstream(form->SkinsWriteFolder() + "/default.skn", std::ios::binary) << "PK\x03\x04 damaged";
    EXPECT_FALSE(form->LoadSkin(form->SkinPath("default.skn")));
    EXPECT_EQ(form->Background().size(), QSize(200, 30));
    EXPECT_EQ(form->btnPlay->FrameWidth(), 19);
    EXPECT_TRUE(boxes->boxes().empty());
    // The damaged file is left alone.
    EXPECT_EQ(std::filesystem::file_size(form->SkinsWriteFolder() + "/default.skn"), 12u);
}

TEST_F(MiniWindow, AbsurdSizesStaySane) {
    ASSERT_TRUE(form->LoadSkin(SkinFixture("absurd-sizes.skn"))) << form->SkinError();
    EXPECT_EQ(form->pVis->width(), kMaxSkinExtent);
    EXPECT_LE(form->SpectrumHeight, kMaxSkinBitmapSide);
    EXPECT_EQ(form->btnPre->size(), QSize(0, 0));  // x2 < x1
    EXPECT_EQ(form->btnList->FrameWidth(), 0);     // 3 pixels for 4 frames
    EXPECT_GE(form->imgProgress->width(), 0);
    form->ApplyButtonSettings();
    form->ShapeWindow();
    form->PrepareSpectrum();
    TBandOut loud;
    loud.fill(65535);
    for (int mode = 0; mode < 4; ++mode) {
        form->SetVisMode(mode);
        form->TotalTimeText = "12:34";
        form->DrawSpectrum(loud);
    }
    form->DrawProgress(5, 10);
    form->DrawVolume(300);
    EXPECT_LE(form->MiniWidth, kMaxSkinExtent);
}

TEST_F(MiniWindow, ShapeLeavesOutTheMagentaPixels) {
    loadDefault();
    form->ShapeWindow();
    EXPECT_EQ(form->size(), QSize(200, 30));
    const QRegion mask = form->mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(0, 29)));
    EXPECT_FALSE(mask.contains(QPoint(199, 12)));
    EXPECT_TRUE(mask.contains(QPoint(1, 15)));
    EXPECT_TRUE(mask.contains(QPoint(2, 0)));
    // An 8-bit palette background gives the same kind of shape.
    ASSERT_TRUE(form->LoadSkin(SkinFixture("paper.skn")));
    form->ShapeWindow();
    EXPECT_FALSE(form->mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(form->mask().contains(QPoint(0, 27)));
    EXPECT_FALSE(form->mask().contains(QPoint(239, 3)));
    EXPECT_TRUE(form->mask().contains(QPoint(1, 14)));
}

TEST_F(MiniWindow, BarsDrawTheirFill) {
    loadDefault();
    form->ApplyButtonSettings();
    const QImage& groove = form->Background();
    form->DrawProgress(50, 100);  // W = 170: filled to 85
    const QImage& bar = form->imgProgress->Picture;
    EXPECT_EQ(Rgb(bar, 84, 2), 0x3f84e6u);
    EXPECT_EQ(Rgb(bar, 85, 2), Rgb(groove, 3 + 85, 2));
    form->DrawProgress(10, 0);  // no length: empty
    EXPECT_EQ(Rgb(form->imgProgress->Picture, 0, 2), Rgb(groove, 3, 2));
    form->DrawVolume(255);
    EXPECT_EQ(Rgb(form->imgVol->Picture, 149, 1), 0x52d198u);  // row 1 of volume_fill.bmp
    form->DrawVolume(0);
    EXPECT_EQ(Rgb(form->imgVol->Picture, 0, 1), Rgb(groove, 23, 26));
}
