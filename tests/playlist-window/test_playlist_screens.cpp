// The playlist window on a real X server: screenshots in the built-in skin,
// empty and with 30 items of which one is current, compared with the
// reference images in tests/fixtures/screens (QUILLET_UPDATE_SCREENS=1
// rewrites them), and the window roles the desktop finds the windows by.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "playlist/window/UProperties.h"
#include "tests/playlist-window/WindowTest.h"
#include "tests/shell/ScreenCompare.h"

namespace {

constexpr QRgb kBackdrop = 0x0000FF;

class PlayListScreens : public WindowTest {
  protected:
    void SetUp() override {
        backdrop.setGeometry(0, 0, 520, 300);
        backdrop.setStyleSheet("background: #0000ff");
        backdrop.setWindowFlags(Qt::FramelessWindowHint);
        backdrop.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
        // Fixed text, whatever fonts the desktop prefers.
        window.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
        window.move(40, 40);
    }

    QRgb rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

    // The window as the X server shows it, once the picture has settled and
    // the window is drawn over the backdrop.
    QImage shot() {
        window.show();
        window.raise();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        return SettledScreenGrab(QRect(40, 40, window.width(), window.height()), [this](const QImage& image) {
            return rgb(image, window.width() / 2, 5) != kBackdrop;
        });
    }

    QString role(const QWidget& w) {
        QProcess xprop;
        xprop.start("xprop", {"-id", QString::number(w.winId()), "WM_CLASS", "WM_WINDOW_ROLE"});
        EXPECT_TRUE(xprop.waitForFinished(10000));
        return QString::fromUtf8(xprop.readAllStandardOutput());
    }

    QWidget backdrop;
};

}  // namespace

TEST_F(PlayListScreens, EmptyList) {
    const QImage image = shot();
    ASSERT_EQ(image.size(), QSize(420, 199));
    // The grids show the background colours of the skin's rows.
    const QRect names = window.Lists().geometry();
    EXPECT_EQ(rgb(image, names.x() + names.width() - 2, names.y() + 8),
              window.Colors().selected & 0xFFFFFF);  // row 0 selected
    EXPECT_EQ(rgb(image, names.x() + names.width() - 2, names.y() + 24),
              window.Colors().bkgnd & 0xFFFFFF);  // row 1, odd
    CompareWithReference(image, "playlist-empty");
}

TEST_F(PlayListScreens, ThirtyItemsOneCurrent) {
    fill(30);
    for (std::size_t i = 0; i < 30; ++i) model.DisplayedItem(i).StreamInfo.Duration = uint32_t(i * 65'000);
    window.SelectItemRow(2);
    ASSERT_TRUE(model.ListDblClick(2));
    window.SelectItemRow(4);
    const QImage image = shot();
    ASSERT_EQ(image.size(), QSize(420, 199));
    EXPECT_TRUE(window.ListBar().isVisible());
    CompareWithReference(image, "playlist-30");
}

TEST_F(PlayListScreens, WindowsCarryTheirRoles) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(role(window).contains("WM_WINDOW_ROLE(STRING) = \"playlist\""));
    TFProperties dialog;
    TMediaInf item;
    dialog.FillMediaInf(item);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(role(dialog).contains("WM_WINDOW_ROLE(STRING) = \"properties\""));
}
