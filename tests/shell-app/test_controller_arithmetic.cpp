// The bars' and the spectrum panel's arithmetic at both ends and beyond them.
#include <gtest/gtest.h>

#include "shell/UMainController.h"

TEST(ControllerArithmetic, SeekPositionAtClampsAndRounds) {
    struct Case {
        int x, width;
        std::int64_t length, expected;
    } cases[] = {
        {0, 100, 240000, 0},         // left end: the start
        {100, 100, 240000, 240000},  // right end: the length
        {-30, 100, 240000, 0},       // released left of the bar
        {250, 100, 240000, 240000},  // released right of the bar
        {1, 3, 1000, 333},           // rounded to the nearest
        {2, 3, 1000, 667},
        {50, 0, 240000, -1},                 // a bar without width: nothing
        {50, 100, 0, -1},                    // no length: nothing
        {1, 2, 5000000000LL, 2500000000LL},  // beyond 32 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(SeekPositionAt(c.x, c.width, c.length), c.expected) << c.x << " of " << c.width;
}

TEST(ControllerArithmetic, VolumeAtClampsToTheBar) {
    struct Case {
        int x, width, expected;
    } cases[] = {{0, 60, 0},    {60, 60, 255}, {30, 60, 127}, {-15, 60, 0},
                 {90, 60, 255}, {10, 0, -1},   {10, -4, -1}};
    for (const Case& c : cases) EXPECT_EQ(VolumeAt(c.x, c.width), c.expected) << c.x << " of " << c.width;
}

TEST(ControllerArithmetic, DraggedThumbKeepsItsLeftEdgeOnTheBar) {
    // Bar from 40, 100 wide; the thumb grabbed 3 pixels in.
    EXPECT_EQ(DragThumbLeft(60, 13, 3, 40, 100), 70);
    EXPECT_EQ(DragThumbLeft(60, 500, 3, 40, 100), 140);  // past the right end
    EXPECT_EQ(DragThumbLeft(60, -500, 3, 40, 100), 40);  // past the left end
    EXPECT_EQ(DragThumbLeft(60, 13, 3, 40, -5), 40);     // no bar
}

TEST(ControllerArithmetic, PanelClicksCycleTheModes) {
    int mode = 0;
    std::vector<int> seen{mode};
    for (int i = 0; i < 5; ++i) seen.push_back(mode = VisModeAfterClick(mode));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 0, 1}));
    // A double click follows a click: the mode returns, except from 3 to 0.
    EXPECT_EQ(VisModeAfterDblClick(VisModeAfterClick(1)), 1);
    EXPECT_EQ(VisModeAfterDblClick(VisModeAfterClick(3)), 0);
    EXPECT_EQ(VisModeAfterDblClick(0), 0);
    EXPECT_EQ(VisModeAfterClick(7), 0);
}
