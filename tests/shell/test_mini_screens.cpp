// Screenshots of the mini window on a real X server: the built-in skin in
// each spectrum mode and the paper fixture skin, compared with the reference
// images in tests/fixtures/screens (QUILLET_UPDATE_SCREENS=1 rewrites them).
// A blue backdrop lies behind the window, so the shape shows in the picture.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "shell/UMain.h"
#include "shell/USkin.h"
#include "tests/shell/ScreenCompare.h"
#include "tests/shell/SkinTestUtil.h"

namespace {

constexpr QRgb kBackdrop = 0x0000FF;
const QPoint kAt(40, 40);

class MiniScreens : public ::testing::Test {
  protected:
    void SetUp() override {
        backdrop.setGeometry(20, 20, 300, 80);
        backdrop.setStyleSheet("background: #0000ff");
        backdrop.setWindowFlags(Qt::FramelessWindowHint);
        backdrop.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
        form = std::make_unique<TFMain>(PortableFolders(dir.path.string()));
    }

    void apply(const std::string& skin) {
        ASSERT_TRUE(form->LoadSkin(skin)) << form->SkinError();
        form->ShapeWindow();
        form->PrepareSpectrum();
        form->ApplyButtonSettings();
        form->DrawProgress(40, 100);
        form->DrawVolume(160);
        form->move(kAt);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // Fixed band data: a rise and fall, drawn twice so mode 0 shows peaks.
    void drawBands() {
        TBandOut bands;
        for (int i = 0; i < 25; ++i) bands[i] = uint16_t(i < 12 ? i + 2 : 26 - i);
        form->DrawSpectrum(bands);
        for (auto& b : bands) b = uint16_t(b / 2);
        form->DrawSpectrum(bands);
    }

    // The window as the X server shows it, once the picture has settled and
    // the strip is drawn over the backdrop.
    QImage shot() {
        return SettledScreenGrab(QRect(kAt, form->size()), [this](const QImage& image) {
            return Rgb(image, 2, form->height() / 2) != kBackdrop;
        });
    }

    TempDir dir;
    QWidget backdrop;
    std::unique_ptr<TFMain> form;
};

}  // namespace

TEST_F(MiniScreens, BuiltinSkinInEverySpectrumMode) {
    ASSERT_TRUE(ExtractDefaultSkin(form->SkinsWriteFolder()));
    apply(form->SkinPath("default.skn"));
    form->TotalTimeText = FormatDuration((3600 + 2 * 60 + 3) * 1000);
    form->OnGetPosition = [] { return 83000u; };
    for (int mode = 0; mode < 4; ++mode) {
        form->SetVisMode(mode);
        drawBands();
        const QImage image = shot();
        ASSERT_EQ(image.size(), QSize(175, 30));
        // The shape: the rounded corners show the backdrop, the strip the skin.
        EXPECT_EQ(Rgb(image, 0, 0), kBackdrop);
        EXPECT_EQ(Rgb(image, 0, 29), kBackdrop);
        EXPECT_NE(Rgb(image, 1, 15), kBackdrop);
        EXPECT_EQ(Rgb(image, 1, 15), Rgb(form->Background(), 1, 15));
        CompareWithReference(image, "builtin-mode" + std::to_string(mode));
    }
}

TEST_F(MiniScreens, PaperSkin) {
    apply(SkinFixture("paper.skn"));
    drawBands();
    const QImage image = shot();
    EXPECT_EQ(Rgb(image, 0, 0), kBackdrop);
    EXPECT_NE(Rgb(image, 2, 14), kBackdrop);
    CompareWithReference(image, "paper-mode0");
}

TEST_F(MiniScreens, WindowCarriesTheProgramsIdentity) {
    apply(SkinFixture("paper.skn"));
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(form->winId()), "WM_CLASS", "WM_WINDOW_ROLE"});
    ASSERT_TRUE(xprop.waitForFinished(10000));
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
    EXPECT_TRUE(out.contains("\"quilletplay\", \"Quillet\"")) << out.toStdString();
    EXPECT_TRUE(out.contains("WM_WINDOW_ROLE(STRING) = \"mini\"")) << out.toStdString();
}
