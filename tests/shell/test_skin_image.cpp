// TSkinImage: frames of a strip, the background under it, the mouse states;
// DrawTransparent and CopyImageRect.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include "shell/UMyImage.h"
#include "tests/shell/SkinTestUtil.h"

namespace {

// A strip of `frames` frames of 19 x 18, frame i filled with colour 10 * (i + 1)
// except a magenta pixel at (1, 1) of every frame.
QImage Strip(int frames, int fw = 19, int fh = 18) {
    QImage strip(fw * frames, fh, QImage::Format_RGB32);
    for (int i = 0; i < frames; ++i)
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < fw; ++x) strip.setPixel(i * fw + x, y, qRgb(10 * (i + 1), 0, 0));
    for (int i = 0; i < frames; ++i) strip.setPixel(i * fw + 1, 1, qRgb(255, 0, 255));
    return strip;
}

struct Harness {
    QWidget window;
    QImage background = Solid(100, 30, qRgb(0, 200, 0));
    TSkinImage* button = new TSkinImage(&window);
    explicit Harness(int frames) {
        window.resize(100, 30);
        button->SetFrameCount(frames);
        button->SetBackgroundSource(&background);
        button->move(5, 6);
        button->SetStrip(Strip(frames));
    }
    void enter() {
        QEnterEvent e(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(button, &e);
    }
    void leave() {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(button, &e);
    }
    // The red value of the picture's (5, 5): 10 * (frame + 1).
    int shownRed() const { return qRed(button->Picture().pixel(5, 5)); }
};

}  // namespace

TEST(SkinImage, FrameRectanglesFollowTheFrameCount) {
    struct Case {
        int frames;
        QRect hover, pressed, disabled;
    } cases[] = {
        {1, QRect(1, 1, 18, 17), QRect(0, 0, 19, 18), QRect(0, 0, 19, 18)},
        {2, QRect(19, 0, 19, 18), QRect(0, 0, 19, 18), QRect(0, 0, 19, 18)},
        {3, QRect(19, 0, 19, 18), QRect(38, 0, 19, 18), QRect(0, 0, 19, 18)},
        {4, QRect(19, 0, 19, 18), QRect(38, 0, 19, 18), QRect(57, 0, 19, 18)},
    };
    for (const Case& c : cases) {
        TSkinImage button;
        button.SetFrameCount(c.frames);
        button.SetStrip(Strip(c.frames));
        SCOPED_TRACE(c.frames);
        EXPECT_EQ(button.FrameWidth(), 19);
        EXPECT_EQ(button.FrameHeight(), 18);
        EXPECT_EQ(button.FrameRect(TSkinImage::frNormal), QRect(0, 0, 19, 18));
        EXPECT_EQ(button.FrameRect(TSkinImage::frHover), c.hover);
        EXPECT_EQ(button.FrameRect(TSkinImage::frPressed), c.pressed);
        EXPECT_EQ(button.FrameRect(TSkinImage::frDisabled), c.disabled);
        // An empty skin rectangle becomes the frame's.
        EXPECT_EQ(button.size(), QSize(19, 18));
    }
}

TEST(SkinImage, SkinRectangleSizesTheControlAndCentresTheFrame) {
    TSkinImage button;
    button.SetFrameCount(4);
    button.SetSkinRect(TRect{10, 5, 35, 29});
    button.SetStrip(Strip(4));
    EXPECT_EQ(button.size(), QSize(25, 24));
    const QImage shot = button.grab().toImage();
    EXPECT_EQ(qRed(shot.pixel(3 + 5, 3 + 5)), 10);  // frame at (3, 3)
    // A reversed rectangle gives a zero size, not a negative one.
    button.SetSkinRect(TRect{40, 5, 20, 2});
    button.SetupFrames();
    EXPECT_EQ(button.size(), QSize(0, 0));
    button.SetSkinRect(TRect{0, 0, 2000000000, 2000000000});
    button.SetupFrames();
    EXPECT_EQ(button.size(), QSize(kMaxSkinExtent, kMaxSkinExtent));
}

TEST(SkinImage, StripNarrowerThanItsFramesGivesEmptyFrames) {
    Harness h(4);
    h.button->SetStrip(Strip(1, 3, 18));  // 3 pixels for four frames
    EXPECT_EQ(h.button->FrameWidth(), 0);
    EXPECT_TRUE(h.button->Picture().isNull());
    h.enter();
    QTest::mouseClick(h.button, Qt::LeftButton);
    h.leave();
    h.button->SetStrip(QImage());
    EXPECT_TRUE(h.button->Picture().isNull());
}

TEST(SkinImage, MouseStatesShowTheirFrames) {
    Harness h(4);
    EXPECT_EQ(h.shownRed(), 10);
    h.enter();
    EXPECT_EQ(h.button->ShownFrame(), TSkinImage::frHover);
    EXPECT_EQ(h.shownRed(), 20);  // strip pixels 19 to 37
    QTest::mousePress(h.button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(h.shownRed(), 30);
    QTest::mouseRelease(h.button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(h.shownRed(), 20);  // released inside: hover
    h.leave();
    EXPECT_EQ(h.shownRed(), 10);
}

TEST(SkinImage, ReleasingOutsideReturnsToNormalWithoutAClick) {
    Harness h(4);
    int clicks = 0;
    h.button->OnClick = [&] { ++clicks; };
    h.enter();
    QTest::mousePress(h.button, Qt::LeftButton, {}, QPoint(3, 3));
    h.leave();  // still held: the pressed look stays
    EXPECT_EQ(h.button->ShownFrame(), TSkinImage::frPressed);
    QTest::mouseRelease(h.button, Qt::LeftButton, {}, QPoint(60, 3));
    EXPECT_EQ(h.button->ShownFrame(), TSkinImage::frNormal);
    EXPECT_EQ(clicks, 0);
    h.enter();
    QTest::mouseClick(h.button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(clicks, 1);
}

TEST(SkinImage, PressedFlagSurvivesEnterAndLeave) {
    Harness h(4);
    h.button->SetPressed(true);
    EXPECT_EQ(h.shownRed(), 30);  // shown at once
    h.enter();
    EXPECT_EQ(h.shownRed(), 30);
    h.leave();
    EXPECT_EQ(h.shownRed(), 30);
    h.button->SetPressed(false);
    EXPECT_EQ(h.shownRed(), 10);
}

TEST(SkinImage, FewFramesReuseTheNormalFrame) {
    Harness two(2);
    QTest::mousePress(two.button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(two.shownRed(), 10);  // two frames: pressed is normal
    Harness one(1);
    one.enter();
    // One frame: hover is the frame from (1, 1) stretched, so the magenta
    // pixel at strip (1, 1) lands at (0, 0) and shows the background.
    EXPECT_EQ(Rgb(one.button->Picture(), 0, 0), qRgb(0, 200, 0) & 0xFFFFFF);
    EXPECT_EQ(Rgb(one.button->Picture(), 2, 2), 0x0A0000u);
}

TEST(SkinImage, MagentaShowsTheBackgroundUnderTheControl) {
    Harness h(4);
    h.background.setPixel(5 + 1, 6 + 1, qRgb(1, 2, 3));  // under the magenta pixel
    h.button->Redraw();
    EXPECT_EQ(Rgb(h.button->Picture(), 1, 1), 0x010203u);
    EXPECT_EQ(Rgb(h.button->Picture(), 2, 1), 0x0A0000u);
}

TEST(DrawTransparent, StretchesKeysAndClips) {
    QImage source = Solid(2, 1, qRgb(255, 0, 255));
    source.setPixel(1, 0, qRgb(9, 9, 9));
    QImage target = Solid(8, 4, qRgb(1, 1, 1));
    DrawTransparent(target, source, QRect(0, 0, 4, 2), kSkinTransparent, source.rect());
    EXPECT_EQ(Rgb(target, 1, 1), 0x010101u);  // key colour: target kept
    EXPECT_EQ(Rgb(target, 2, 0), 0x090909u);  // stretched x2
    EXPECT_EQ(Rgb(target, 3, 1), 0x090909u);
    EXPECT_EQ(Rgb(target, 4, 0), 0x010101u);
    // Rectangles outside either image draw nothing and read nothing.
    DrawTransparent(target, source, QRect(-100, -100, 1000, 1000), 0, QRect(-5, -5, 50, 50));
    DrawTransparent(target, source, QRect(6, 3, 5, 5), 0, QRect(1, 0, 1, 1));
    EXPECT_EQ(Rgb(target, 7, 3), 0x090909u);
    DrawTransparent(target, QImage(), QRect(0, 0, 4, 4), 0, QRect(0, 0, 4, 4));
}

TEST(CopyImageRect, CopiesUnscaledAndClipsBothSides) {
    QImage source = Solid(4, 4, qRgb(7, 7, 7));
    QImage target = Solid(4, 4, qRgb(0, 0, 0));
    CopyImageRect(target, QPoint(0, 0), source, QRect(-3, -3, 20, 20));  // source (0, 0) lands at (3, 3)
    EXPECT_EQ(Rgb(target, 2, 2), 0u);
    EXPECT_EQ(Rgb(target, 3, 3), 0x070707u);
    EXPECT_EQ(Rgb(target, 2, 3), 0u);
    CopyImageRect(target, QPoint(-2, 0), source, QRect(0, 0, 3, 1));
    EXPECT_EQ(Rgb(target, 0, 0), 0x070707u);
    EXPECT_EQ(Rgb(target, 1, 0), 0u);
}
