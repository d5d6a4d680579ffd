// Without X11 (a Wayland session, here the offscreen platform) there is no
// desktop to dock into: the strip floats at the bottom-right of the screen's
// available area, and the program goes on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include "shell/TaskbarDock.h"

namespace {

TEST(DockWithoutX11, StripFloatsAtTheBottomRightAndStaysWhereTheUserPutsIt) {
    EXPECT_EQ(quillet::desktop::Desktop::create(), nullptr);
    QWidget mini, playlist;
    mini.resize(175, 32);
    playlist.resize(420, 300);
    TTaskbarDock dock(nullptr, &mini, &playlist);
    EXPECT_TRUE(mini.windowFlags().testFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));

    dock.setPlayerpos();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_FALSE(dock.docked());
    EXPECT_TRUE(mini.isVisible());
    EXPECT_EQ(mini.pos(), area.bottomRight() - QPoint(175, 32) + QPoint(1, 1));
    EXPECT_EQ(playlist.pos(), mini.pos() + QPoint(175 - 420, -300));
    EXPECT_EQ(dock.contextMenuPosition(), (TPoint{mini.x() + 175, mini.y()}));

    mini.move(40, 50);  // dragged by the user
    dock.setPlayerpos();
    EXPECT_EQ(mini.pos(), QPoint(40, 50));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
