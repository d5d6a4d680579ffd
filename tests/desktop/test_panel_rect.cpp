// Where the strip goes in a desktop panel: the notification-area rectangle the
// panel reports puts the strip directly left of (above) its tray icons.
#include <gtest/gtest.h>

#include "platform/desktop/X11.h"

using quillet::desktop::PanelNotifyRect;

namespace {

// The strip's left edge (top edge on a vertical panel) that a rectangle gives:
// one pixel past the rectangle's far edge.
int stripStart(const RECT& notify, bool horizontal) {
    return horizontal ? notify.right + 1 : notify.bottom + 1;
}

TEST(PanelNotifyRect, StripEndsWhereTheTrayBegins) {
    struct Case {
        const char* what;
        RECT panel;
        std::optional<RECT> tray;
        int expectedStart;
        bool horizontal;
    };
    const Case cases[] = {
        {"bottom panel, tray", {0, 994, 1280, 1024}, RECT{1215, 998, 1237, 1020}, 1215 - 175, true},
        {"bottom panel, no tray: the far end", {0, 994, 1280, 1024}, std::nullopt, 1280 - 175, true},
        {"panel not at the left edge", {300, 0, 1280, 30}, RECT{1100, 4, 1122, 26}, 1100 - 175, true},
        {"tray too near the start: kept inside", {0, 994, 1280, 1024}, RECT{100, 998, 122, 1020}, 0, true},
        {"right panel, tray", {1240, 0, 1280, 1024}, RECT{1242, 900, 1278, 922}, 900 - 32, false},
        {"right panel, no tray", {1240, 0, 1280, 1024}, std::nullopt, 1024 - 32, false},
    };
    for (const auto& c : cases) {
        const RECT r = PanelNotifyRect(c.panel, c.tray, 175, 32);
        EXPECT_EQ(stripStart(r, c.horizontal), c.expectedStart) << c.what;
        // The rectangle lies across the panel, so the other coordinate is the panel's.
        if (c.horizontal) {
            EXPECT_EQ(r.top, c.panel.top) << c.what;
            EXPECT_EQ(r.bottom, c.panel.bottom) << c.what;
        } else {
            EXPECT_EQ(r.left, c.panel.left) << c.what;
        }
    }
}

}  // namespace
