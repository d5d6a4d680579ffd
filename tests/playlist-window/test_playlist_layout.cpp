// The window's arithmetic: texts of the duration and size columns, the
// layout, the thumbs, the grips and the background's pieces, including
// skins and drags that would give negative sizes or divide by zero.
#include <gtest/gtest.h>

#include <QLocale>

#include "playlist/window/PlayListLayout.h"

using namespace plw;

namespace {

// The built-in skin: bitmap 272 x 74, list area (3, 18)-(268, 43), arrow
// buttons 14 x 9... as the tests below need them.
TSkinGeometry builtin() {
    return TSkinGeometry{QSize(272, 74), QRect(QPoint(3, 18), QPoint(267, 42)), 14, 9};
}

bool sane(const QRect& r) {
    return r.width() >= 0 && r.height() >= 0;
}

}  // namespace

TEST(PlayListTexts, DurationShowsTotalMinutes) {
    const struct {
        uint32_t ms;
        const char* text;
    } cases[] = {{0, "00:00"},
                 {999, "00:00"},
                 {61'000, "01:01"},
                 {65 * 60'000, "65:00"},
                 {(61 * 60 + 5) * 1000, "61:05"},
                 {99 * 60'000 + 59'999, "99:59"},
                 {100 * 60'000, "100:00"},
                 {4'294'967'295u, "71582:47"}};
    for (const auto& c : cases) EXPECT_EQ(DurationText(c.ms), QString::fromLatin1(c.text)) << c.ms;
}

TEST(PlayListTexts, FileSizeInMebibytesAndBytes) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(FileSizeText(3'690'000), QStringLiteral("3.52M (3,690,000 Bytes)"));
    EXPECT_EQ(FileSizeText(0), QStringLiteral("0.00M (0 Bytes)"));
    EXPECT_EQ(FileSizeText(4'294'967'295u), QStringLiteral("4096.00M (4,294,967,295 Bytes)"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FileSizeText(3'690'000), QStringLiteral("3.52M (3.690.000 Bytes)"));
}

TEST(PlayListTexts, LineBreaksBecomeCrLf) {
    EXPECT_EQ(WithCrLf("a\nb"), "a\r\nb");
    EXPECT_EQ(WithCrLf("a\r\nb"), "a\r\nb");
    EXPECT_EQ(WithCrLf("a\rb\n\n"), "a\r\nb\r\n\r\n");
    EXPECT_EQ(WithCrLf("\r\n\r"), "\r\n\r\n");
    EXPECT_EQ(WithCrLf(""), "");
}

TEST(PlayListLayout, DefaultSkinAtMinimumSize) {
    const TSkinGeometry skin = builtin();
    const int split = InitialSplit(skin.listArea);
    EXPECT_EQ(split, 3 + 106);  // 40 % of 265
    const TLayout few = Layout(skin, QSize(420, 199), split, 2, 5);
    EXPECT_EQ(few.visibleRows, 9);
    EXPECT_FALSE(few.listBar.shown);
    EXPECT_FALSE(few.listsBar.shown);
    EXPECT_EQ(few.lists, QRect(3, 18, split - 3, 199 - 31 - 18));
    EXPECT_EQ(few.list.x(), split + kSplitterWidth);
    EXPECT_EQ(few.list.x() + few.list.width(), 420 - 4);  // right margin 272 - 268
    EXPECT_EQ(few.splitter, QRect(split + 1, 18, kSplitterWidth, 150));

    const TLayout many = Layout(skin, QSize(420, 199), split, 2, 10);
    ASSERT_TRUE(many.listBar.shown);
    EXPECT_EQ(many.list.width(), few.list.width() - 14);
    EXPECT_EQ(many.listBar.up, QRect(many.list.x() + many.list.width(), 18, 14, 9));
    EXPECT_EQ(many.listBar.down.y() + many.listBar.down.height(), 168);
    EXPECT_EQ(many.listBar.track, QRect(many.listBar.up.x(), 27, 14, 168 - 9 - 27));
}

TEST(PlayListLayout, SplitterKeepsBothGridsWide) {
    const TSkinGeometry skin = builtin();
    const int least = kMinGridWidth + skin.scrollWidth;
    const TLayout left = Layout(skin, QSize(420, 199), -5000, 2, 30);
    EXPECT_EQ(left.splitX, 3 + least);
    const TLayout right = Layout(skin, QSize(420, 199), 5000, 2, 30);
    EXPECT_EQ(right.list.width() + 14, least);  // the grid and its bar
    // A window too narrow for both: the list-name grid keeps its width.
    const TLayout narrow = Layout(skin, QSize(60, 199), 30, 2, 30);
    EXPECT_EQ(narrow.splitX, 3 + least);
    EXPECT_TRUE(sane(narrow.list) && sane(narrow.lists) && sane(narrow.listBar.track));
}

TEST(PlayListLayout, SkinsOfAnySizeGiveNoNegativeRectangles) {
    const TSkinGeometry skins[] = {
        {QSize(0, 0), QRect(), 0, 0},
        {QSize(10, 10), QRect(50, 60, 5, 5), 14, 9},        // area outside the bitmap
        {QSize(272, 74), QRect(3, 18, -40, -30), 14, 9},    // area of negative size
        {QSize(272, 74), QRect(3, 18, 265, 25), 400, 400},  // buttons larger than the grid
    };
    for (const auto& skin : skins)
        for (const QSize window : {QSize(0, 0), QSize(1, 1), QSize(420, 199)})
            for (const std::size_t rows : {std::size_t(0), std::size_t(1), std::size_t(100000)}) {
                const TLayout l = Layout(skin, window, InitialSplit(skin.listArea), rows, rows);
                for (const QRect& r : {l.lists, l.list, l.splitter, l.listBar.up, l.listBar.down,
                                       l.listBar.track, l.listsBar.track})
                    EXPECT_TRUE(sane(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
                EXPECT_GE(l.visibleRows, 0);
            }
}

TEST(PlayListLayout, ThumbFollowsRowAndDragPicksRow) {
    TScrollBarRects bar;
    bar.shown = true;
    bar.up = QRect(0, 0, 14, 9);
    bar.down = QRect(0, 141, 14, 9);
    bar.track = QRect(0, 9, 14, 132);
    const int thumb = 12;  // room 141 - 9 - 12 = 120
    EXPECT_EQ(ThumbTop(bar, thumb, 0, 30), 9);
    EXPECT_EQ(ThumbTop(bar, thumb, 15, 30), 9 + 60);
    EXPECT_EQ(ThumbTop(bar, thumb, 29, 30), 9 + 116);
    EXPECT_EQ(ThumbTop(bar, thumb, 3, 0), 9);  // no rows: no division
    EXPECT_EQ(RowForThumb(bar, thumb, 9, 30), 0u);
    EXPECT_EQ(RowForThumb(bar, thumb, 9 + 60, 30), 15u);
    EXPECT_EQ(RowForThumb(bar, thumb, 500, 30), 29u);  // clamped
    EXPECT_EQ(RowForThumb(bar, thumb, -500, 30), 0u);
    EXPECT_EQ(RowForThumb(bar, 200, 50, 30), 0u);  // thumb longer than the track
    EXPECT_EQ(RowForThumb(bar, thumb, 50, 0), 0u);
    EXPECT_EQ(ClampThumb(bar, thumb, -3), 9);
    EXPECT_EQ(ClampThumb(bar, thumb, 400), 141 - 12);
}

TEST(PlayListLayout, GripsKeepTheMinimumSize) {
    const QRect start(100, 100, 500, 300);
    const QSize minimum(420, 199);
    EXPECT_EQ(DragBottomRight(start, QPoint(20, 10), minimum), QRect(100, 100, 520, 310));
    EXPECT_EQ(DragBottomRight(start, QPoint(-400, -400), minimum), QRect(100, 100, 420, 199));
    EXPECT_EQ(DragTopLeft(start, QPoint(-20, -10), minimum), QRect(80, 90, 520, 310));
    // Past the bottom-right corner: minimum size, bottom-right corner fixed.
    EXPECT_EQ(DragTopLeft(start, QPoint(900, 900), minimum), QRect(600 - 420, 400 - 199, 420, 199));
    EXPECT_EQ(DragTopLeft(start, QPoint(900, 900), QSize(-5, -5)), QRect(600, 400, 0, 0));
}

TEST(PlayListLayout, NinePiecesCoverTheWindow) {
    const TNinePiece p = NinePiece(QSize(272, 74), QRect(QPoint(146, 20), QPoint(146, 23)), QSize(420, 199));
    EXPECT_EQ(p.target[0], QRect(0, 0, 146, 20));                 // corner unscaled
    EXPECT_EQ(p.target[8], QRect(420 - 125, 199 - 50, 125, 50));  // 272 - 147, 74 - 24
    EXPECT_EQ(p.source[4], QRect(146, 20, 1, 4));
    EXPECT_EQ(p.target[4], QRect(146, 20, 420 - 146 - 125, 199 - 20 - 50));
    long area = 0;
    for (const QRect& r : p.target) area += long(r.width()) * r.height();
    EXPECT_EQ(area, 420L * 199);
    // A stretch rectangle outside the bitmap, or a window smaller than the
    // corners: clamped pieces, none negative.
    for (const QRect stretch : {QRect(500, 500, 10, 10), QRect(-9, -9, -3, -3)})
        for (const QSize window : {QSize(0, 0), QSize(5, 5), QSize(420, 199)}) {
            const TNinePiece q = NinePiece(QSize(272, 74), stretch, window);
            for (std::size_t i = 0; i < 9; ++i) {
                EXPECT_TRUE(sane(q.source[i]) && sane(q.target[i]));
                EXPECT_TRUE(QRect(0, 0, 272, 74).contains(q.source[i]) || q.source[i].isEmpty());
            }
        }
}

TEST(PlayListLayout, PlacementAndSnapping) {
    EXPECT_EQ(PlaceAbove(QRect(1000, 700, 300, 32), QSize(420, 199)), QPoint(1300 - 420, 501));
    const QRect screen(0, 0, 1280, 1024);
    EXPECT_EQ(Snap(QPoint(7, -9), QSize(420, 199), screen), QPoint(0, 0));
    EXPECT_EQ(Snap(QPoint(1280 - 420 + 8, 1024 - 199 - 10), QSize(420, 199), screen), QPoint(860, 825));
    EXPECT_EQ(Snap(QPoint(300, 300), QSize(420, 199), screen), QPoint(300, 300));
}

TEST(PlayListLayout, ScrollKeepsTheSelectionVisible) {
    EXPECT_EQ(ScrollToShow(0, 5, 9), 0u);
    EXPECT_EQ(ScrollToShow(0, 9, 9), 1u);   // below: becomes the last visible row
    EXPECT_EQ(ScrollToShow(20, 3, 9), 3u);  // above: becomes the first
    EXPECT_EQ(ScrollToShow(0, 4, 0), 4u);   // no room: the row itself
}
