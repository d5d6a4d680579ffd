// Screenshots under a real X server compared with reference images kept in
// tests/fixtures/screens (QUILLET_UPDATE_SCREENS=1 rewrites them).
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <string>

// The screen's picture of `rect` once it has settled: two grabs in a row
// alike, and `drawn` (when given) true of it.
inline QImage SettledScreenGrab(const QRect& rect, const std::function<bool(const QImage&)>& drawn = {}) {
    QImage last;
    for (int i = 0; i < 100; ++i) {
        QTest::qWait(30);
        const QImage image = QGuiApplication::primaryScreen()
                                 ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        if (!last.isNull() && image == last && (!drawn || drawn(image))) return image;
        last = image;
    }
    return last;
}

// Pixels of two images that differ by more than `tolerance` in a channel.
inline int PixelsOff(const QImage& a, const QImage& b, int tolerance = 8) {
    int off = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance)
                ++off;
        }
    return off;
}

// Compares with the reference image `name`: same size, every channel within
// 8, and at most 1 % of the pixels off by more.
inline void CompareWithReference(const QImage& image, const std::string& name) {
    const QString path = QString::fromStdString(std::string(QUILLET_FIXTURES) + "/screens/" + name + ".png");
    if (qEnvironmentVariableIsSet("QUILLET_UPDATE_SCREENS")) {
        ASSERT_TRUE(image.save(path));
        return;
    }
    const QImage reference = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(reference.isNull()) << path.toStdString();
    ASSERT_EQ(image.size(), reference.size()) << name;
    EXPECT_LE(PixelsOff(image, reference), image.width() * image.height() / 100) << name;
}
