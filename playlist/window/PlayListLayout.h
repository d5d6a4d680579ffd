// The playlist window's arithmetic: the layout of its controls, the scroll
// thumbs, the resize grips, the nine-piece background and the texts of the
// duration and size columns. No widgets, so every number can be checked
// without a window; skin-given values may be anything, and nothing here
// divides by zero or yields a negative size.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

namespace plw {

inline constexpr int kRowHeight = 16;
inline constexpr int kSplitterWidth = 4;
// Each grid stays at least this wide, plus its scroll bar's width.
inline constexpr int kMinGridWidth = 40;
inline constexpr int kDurationColumn = 35;
inline constexpr int kRepeatFirst = 500;  // ms before the first repeat of a held scroll button
inline constexpr int kRepeatNext = 100;   // ms between the following ones
inline constexpr int kSnapDistance = 10;  // pixels from a screen edge that snap to it

// "mm:ss" with the total minutes (at least two digits) and the seconds of a
// length in milliseconds: 65 minutes are "65:00", 100 minutes "100:00".
QString DurationText(uint32_t milliseconds);

// The file size as "3.52M (3,690,000 Bytes)": mebibytes with two decimals and
// the byte count with the default locale's group separators.
QString FileSizeText(uint64_t bytes);

// Line breaks as CR LF (a lone CR, a lone LF and CR LF each become one CR LF).
std::string WithCrLf(const std::string& text);

// What the skin gives the layout.
struct TSkinGeometry {
    QSize bitmap;      // the background bitmap's size
    QRect listArea;    // `playlist` `position`, in bitmap coordinates
    int scrollWidth;   // the arrow buttons' width
    int scrollHeight;  // the arrow buttons' height
};

// One grid's scroll bar: arrow buttons, track and thumb (window coordinates).
struct TScrollBarRects {
    bool shown = false;
    QRect up, down, track;
};

struct TLayout {
    QRect lists, list;  // the grids
    TScrollBarRects listsBar, listBar;
    QRect splitter;
    int splitX = 0;  // the list-name column's right edge after clamping
    int visibleRows = 0;
};

// The list-name column's initial right edge: 40 % of the list area.
int InitialSplit(const QRect& listArea);

// Lays out both grids, their scroll bars and the splitter in a window of
// `window` size. `splitX` is kept between the bounds that leave both grids
// kMinGridWidth plus the scroll bar's width (as far as the window allows).
TLayout Layout(const TSkinGeometry& skin, QSize window, int splitX, std::size_t listsRows,
               std::size_t listRows);

// The thumb's top for `selected` of `rows` rows on a bar whose up button
// starts at upTop.
int ThumbTop(const TScrollBarRects& bar, int thumbHeight, std::size_t selected, std::size_t rows);
// The first visible row for a thumb dragged to thumbTop, in 0..rows-1.
std::size_t RowForThumb(const TScrollBarRects& bar, int thumbHeight, int thumbTop, std::size_t rows);
// The dragged thumb's top, kept between the arrow buttons.
int ClampThumb(const TScrollBarRects& bar, int thumbHeight, int top);

// The window's rectangle while a grip is dragged from `start` by the pointer's
// movement `delta`; never smaller than `minimum`. The top-left grip keeps the
// bottom-right corner where it was.
QRect DragBottomRight(const QRect& start, QPoint delta, QSize minimum);
QRect DragTopLeft(const QRect& start, QPoint delta, QSize minimum);

// The nine pieces of the background: source rectangles in the bitmap and
// target rectangles in a window of `window` size, row by row. The stretch
// rectangle is clamped into the bitmap; pieces may be empty.
struct TNinePiece {
    std::array<QRect, 9> source, target;
};
TNinePiece NinePiece(QSize bitmap, const QRect& stretch, QSize window);

// The window's top-left corner right-aligned with and directly above `mini`.
QPoint PlaceAbove(const QRect& mini, QSize window);

// The window's position after a drag to `wanted`: an edge within
// kSnapDistance of the screen's edge moves onto it.
QPoint Snap(QPoint wanted, QSize window, const QRect& screen);

// The first visible row that keeps `selected` visible.
std::size_t ScrollToShow(std::size_t top, std::size_t selected, int visibleRows);

}  // namespace plw
