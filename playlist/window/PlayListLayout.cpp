#include "playlist/window/PlayListLayout.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace plw {

namespace {

int right(const QRect& r) {
    return r.x() + r.width();
}
int bottom(const QRect& r) {
    return r.y() + r.height();
}

}  // namespace

QString DurationText(uint32_t milliseconds) {
    const uint32_t seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QChar('0')).arg(seconds % 60, 2, 10, QChar('0'));
}

QString FileSizeText(uint64_t bytes) {
    const QLocale locale;
    return QStringLiteral("%1M (%2 Bytes)")
        .arg(double(bytes) / 1024.0 / 1024.0, 0, 'f', 2)
        .arg(locale.toString(qulonglong(bytes)));
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

int InitialSplit(const QRect& listArea) {
    return listArea.x() + int(std::lround(0.4 * std::max(0, listArea.width())));
}

namespace {

// A grid's scroll bar at its right edge, when its rows do not fit.
TScrollBarRects placeBar(QRect& grid, int scrollWidth, int scrollHeight, std::size_t rows) {
    TScrollBarRects bar;
    const std::size_t fit = std::size_t(std::max(0, grid.height()) / kRowHeight);
    if (fit >= rows) return bar;
    bar.shown = true;
    const int w = std::min(std::max(0, scrollWidth), std::max(0, grid.width()));
    const int x = right(grid) - w;
    const int buttonHeight = std::clamp(scrollHeight, 0, std::max(0, grid.height()) / 2);
    bar.up = QRect(x, grid.y(), w, buttonHeight);
    bar.down = QRect(x, bottom(grid) - buttonHeight, w, buttonHeight);
    bar.track = QRect(x, bottom(bar.up), w, std::max(0, bar.down.y() - bottom(bar.up)));
    grid.setWidth(grid.width() - w);
    return bar;
}

}  // namespace

TLayout Layout(const TSkinGeometry& skin, QSize window, int splitX, std::size_t listsRows,
               std::size_t listRows) {
    TLayout out;
    const QRect& area = skin.listArea;
    const int marginRight = skin.bitmap.width() - right(area);
    const int marginBottom = skin.bitmap.height() - bottom(area);
    const int left = area.x();
    const int top = area.y();
    const int listRight = std::max(left, window.width() - marginRight);
    const int gridBottom = std::max(top, window.height() - marginBottom);
    const int minGrid = kMinGridWidth + std::max(0, skin.scrollWidth);
    // The lower bound wins when the window is too narrow for both minimums.
    const int highest = listRight - kSplitterWidth - minGrid;
    out.splitX = std::max(left + minGrid, std::min(splitX, highest));

    out.lists = QRect(left, top, out.splitX - left, gridBottom - top);
    const int listLeft = out.splitX + kSplitterWidth;
    out.list = QRect(listLeft, top, std::max(0, listRight - listLeft), gridBottom - top);
    out.listsBar = placeBar(out.lists, skin.scrollWidth, skin.scrollHeight, listsRows);
    out.listBar = placeBar(out.list, skin.scrollWidth, skin.scrollHeight, std::max<std::size_t>(1, listRows));
    out.splitter = QRect(out.splitX + 1, top, kSplitterWidth, gridBottom - top);
    out.visibleRows = (gridBottom - top) / kRowHeight;
    return out;
}

int ThumbTop(const TScrollBarRects& bar, int thumbHeight, std::size_t selected, std::size_t rows) {
    const int start = bottom(bar.up);
    if (rows == 0) return start;
    const int room = std::max(0, bar.down.y() - start - thumbHeight);
    return start + int(std::lround(double(selected) * room / double(rows)));
}

std::size_t RowForThumb(const TScrollBarRects& bar, int thumbHeight, int thumbTop, std::size_t rows) {
    const int room = bar.track.height() - thumbHeight;
    if (rows == 0 || room <= 0) return 0;
    const long row = std::lround(double(thumbTop - bottom(bar.up)) * double(rows) / room);
    return std::size_t(std::clamp<long>(row, 0, long(rows) - 1));
}

int ClampThumb(const TScrollBarRects& bar, int thumbHeight, int top) {
    const int lowest = bottom(bar.up);
    return std::max(lowest, std::min(top, bar.down.y() - thumbHeight));
}

QRect DragBottomRight(const QRect& start, QPoint delta, QSize minimum) {
    const int w = std::max(std::max(0, minimum.width()), start.width() + delta.x());
    const int h = std::max(std::max(0, minimum.height()), start.height() + delta.y());
    return QRect(start.topLeft(), QSize(w, h));
}

QRect DragTopLeft(const QRect& start, QPoint delta, QSize minimum) {
    const int w = std::max(std::max(0, minimum.width()), start.width() - delta.x());
    const int h = std::max(std::max(0, minimum.height()), start.height() - delta.y());
    return QRect(right(start) - w, bottom(start) - h, w, h);
}

TNinePiece NinePiece(QSize bitmap, const QRect& stretch, QSize window) {
    const int bw = std::max(0, bitmap.width());
    const int bh = std::max(0, bitmap.height());
    const int l = std::clamp(stretch.x(), 0, bw);
    const int t = std::clamp(stretch.y(), 0, bh);
    const int r = std::clamp(right(stretch), l, bw);
    const int b = std::clamp(bottom(stretch), t, bh);
    const int ww = std::max(0, window.width());
    const int wh = std::max(0, window.height());
    // Source columns and rows, and where they go; the right and bottom
    // pieces keep their size, so the middle takes what is left (or nothing).
    const std::array<int, 4> sx{0, l, r, bw}, sy{0, t, b, bh};
    const int tl = std::min(l, ww), tt = std::min(t, wh);
    const int tr = std::max(tl, ww - (bw - r)), tb = std::max(tt, wh - (bh - b));
    const std::array<int, 4> tx{0, tl, tr, ww}, ty{0, tt, tb, wh};
    TNinePiece out;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const auto i = std::size_t(row) * 3 + std::size_t(col);
            out.source[i] =
                QRect(QPoint(sx[col], sy[row]), QSize(sx[col + 1] - sx[col], sy[row + 1] - sy[row]));
            out.target[i] =
                QRect(QPoint(tx[col], ty[row]), QSize(tx[col + 1] - tx[col], ty[row + 1] - ty[row]));
        }
    return out;
}

QPoint PlaceAbove(const QRect& mini, QSize window) {
    return QPoint(right(mini) - window.width(), mini.y() - window.height());
}

QPoint Snap(QPoint wanted, QSize window, const QRect& screen) {
    QPoint p = wanted;
    if (std::abs(p.x() - screen.x()) <= kSnapDistance) p.setX(screen.x());
    if (std::abs(p.x() + window.width() - right(screen)) <= kSnapDistance)
        p.setX(right(screen) - window.width());
    if (std::abs(p.y() - screen.y()) <= kSnapDistance) p.setY(screen.y());
    if (std::abs(p.y() + window.height() - bottom(screen)) <= kSnapDistance)
        p.setY(bottom(screen) - window.height());
    return p;
}

std::size_t ScrollToShow(std::size_t top, std::size_t selected, int visibleRows) {
    const std::size_t visible = std::size_t(std::max(1, visibleRows));
    if (selected < top) return selected;
    if (selected >= top + visible) return selected - visible + 1;
    return top;
}

}  // namespace plw
