#include <gtest/gtest.h>

#include "shell/Docking.h"

namespace {

// A 1280 x 1024 screen, a 175 x 32 strip, a 420 x 300 playlist window.
TDockInput screenWith(TRect taskbar, TRect notifyArea) {
    return TDockInput{taskbar, notifyArea, 175, 32, 420, 300, 1280, 1024};
}

TEST(DockingShape, WiderThanHighIsHorizontalEverythingElseVertical) {
    struct Case {
        TRect taskbar;
        bool horizontal;
    };
    const Case cases[] = {
        {{0, 994, 1280, 1024}, true}, {{1220, 0, 1280, 1024}, false}, {{0, 0, 40, 40}, false},
        {{0, 0, 41, 40}, true},       {{0, 0, 0, 0}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsHorizontalTaskbar(c.taskbar), c.horizontal) << c.taskbar.x2;
}

TEST(DockingPlace, HorizontalTaskbarAtTheBottom) {
    const auto p = PlaceInTaskbar(screenWith({0, 994, 1280, 1024}, {1000, 996, 1100, 1022}));
    EXPECT_TRUE(p.horizontal);
    EXPECT_EQ(p.miniInTaskbar, (TPoint{1101, 0}));
    EXPECT_EQ(p.miniOnScreen, (TPoint{1101, 994}));
    EXPECT_EQ(p.playlist.y, 694);
    EXPECT_EQ(p.playlist.x + 420, p.miniOnScreen.x + 175);  // right edges aligned
}

TEST(DockingPlace, VerticalTaskbarAtTheRight) {
    const auto p = PlaceInTaskbar(screenWith({1220, 0, 1280, 1024}, {1222, 800, 1278, 900}));
    EXPECT_FALSE(p.horizontal);
    EXPECT_EQ(p.miniInTaskbar, (TPoint{0, 901}));
    EXPECT_EQ(p.miniOnScreen, (TPoint{1220, 901}));
    EXPECT_EQ(p.playlist, (TPoint{799, 724}));
}

TEST(DockingPlace, SquareTaskbarPlacesTheStripBelowTheNotificationArea) {
    const auto p = PlaceInTaskbar(screenWith({1180, 924, 1280, 1024}, {1180, 924, 1280, 950}));
    EXPECT_FALSE(p.horizontal);
    EXPECT_EQ(p.miniInTaskbar, (TPoint{0, 27}));
    EXPECT_EQ(p.playlist, (TPoint{1280 - 420 - 100 - 1, 724}));
}

TEST(DockingPlace, PositionsInsideAnOffsetTaskbarAreRelativeToIt) {
    // A taskbar at the top that starts 200 pixels right of the screen's edge:
    // the notification area's screen edge must not be taken as a taskbar
    // coordinate (that would put the strip 200 pixels too far right).
    const auto top = PlaceInTaskbar(screenWith({200, 0, 1280, 30}, {1000, 2, 1100, 28}));
    EXPECT_EQ(top.miniInTaskbar, (TPoint{901, 0}));
    EXPECT_EQ(top.miniOnScreen, (TPoint{1101, 0}));
    EXPECT_EQ(top.playlist.x + 420, 1101 + 175);
    EXPECT_EQ(top.playlist.y, 694);  // still placed at the bottom

    // A vertical taskbar at the left that starts below a 24-pixel top bar.
    const auto left = PlaceInTaskbar(screenWith({0, 24, 60, 1024}, {2, 800, 58, 900}));
    EXPECT_EQ(left.miniInTaskbar, (TPoint{0, 877}));
    EXPECT_EQ(left.miniOnScreen, (TPoint{0, 901}));
}

TEST(DockingPlace, SamePlacementForTheSameTaskbar) {
    const auto in = screenWith({0, 994, 1280, 1024}, {1000, 996, 1100, 1022});
    const auto a = PlaceInTaskbar(in), b = PlaceInTaskbar(in);
    EXPECT_EQ(a.miniInTaskbar, b.miniInTaskbar);
    EXPECT_EQ(a.playlist, b.playlist);
}

TEST(DockingCoordinates, TaskbarAndScreenRoundTrip) {
    const TRect taskbar{300, 994, 1280, 1024};
    EXPECT_EQ(TaskbarToScreen(taskbar, {5, 7}), (TPoint{305, 1001}));
    EXPECT_EQ(ScreenToTaskbar(taskbar, {305, 1001}), (TPoint{5, 7}));
    EXPECT_EQ(ScreenToTaskbar(taskbar, TaskbarToScreen(taskbar, {-3, 40})), (TPoint{-3, 40}));
}

TEST(DockingFloat, BottomRightOfTheWorkAreaWithThePlaylistOnTop) {
    const auto f = PlaceFloating({0, 0, 1280, 994}, 175, 32, 420, 300);
    EXPECT_EQ(f.mini, (TPoint{1105, 962}));
    EXPECT_EQ(f.playlist, (TPoint{860, 662}));
    // A playlist window larger than the room above and left of the strip stays inside.
    const auto small = PlaceFloating({10, 20, 400, 200}, 175, 32, 420, 300);
    EXPECT_EQ(small.mini, (TPoint{225, 168}));
    EXPECT_EQ(small.playlist, (TPoint{10, 20}));
}

TEST(DockingMenu, OpensAtTheStripsTopRightUnlessThatIsOffTheScreen) {
    const TRect taskbar{0, 994, 1280, 1024};
    EXPECT_EQ(ContextMenuPosition({1101, 994, 1276, 1026}, 1024, taskbar), (TPoint{1276, 994}));
    EXPECT_EQ(ContextMenuPosition({1101, 1023, 1276, 1055}, 1024, taskbar), (TPoint{1276, 1023}));
    EXPECT_EQ(ContextMenuPosition({1101, 1024, 1276, 1056}, 1024, taskbar), (TPoint{1276, 994}));
}

}  // namespace
