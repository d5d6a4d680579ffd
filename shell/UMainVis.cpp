// TFMain's spectrum panel: the bitmaps built per skin and the frame drawn
// for every band update.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "shell/UMain.h"
#include "shell/USkin.h"

namespace {

int channel(double top, double mid, double bottom, int m, int h) {
    const double half = h / 2.0;
    const double v = m < half ? top + 2.0 * m * (mid - top) / h : mid + 2.0 * (m - half) * (bottom - mid) / h;
    // nearbyint rounds halves to even in the default rounding mode.
    return int(std::clamp(std::nearbyint(v), 0.0, 255.0));
}

// Rows [firstRow, firstRow + count) of one gradient column into the work
// bitmap's column x from row `toRow`, clipped to the bitmap.
void copyColumn(QImage& work, int x, int toRow, const QImage& gradient, int firstRow, int count) {
    if (x < 0 || x >= work.width()) return;
    for (int i = 0; i < count; ++i) {
        const int y = toRow + i, g = firstRow + i;
        if (y < 0 || g < 0) continue;
        if (y >= work.height() || g >= gradient.height()) break;
        reinterpret_cast<QRgb*>(work.scanLine(y))[x] =
            reinterpret_cast<const QRgb*>(gradient.constScanLine(g))[0];
    }
}

}  // namespace

void TFMain::SetVisMode(int mode) {
    VisMode = std::clamp(mode, 0, 3);
    BarWidth = VisMode == 1 ? 1 : 2;
}

void TFMain::PrepareSpectrum() {
    const int h = std::clamp(SpectrumHeight, 0, kMaxSkinBitmapSide);
    pVis->resize(pVis->width(), h + 1);
    // The panel's bitmaps end where the background ends: nothing beyond it
    // is ever visible, so an absurd panel costs no more than the window.
    const int w = std::min(pVis->width(), m_background.width());
    m_spectrumBackground = QImage(w, std::min(h + 1, m_background.height()), QImage::Format_RGB32);
    m_spectrumBackground.fill(Qt::black);
    CopyImageRect(m_spectrumBackground, QPoint(0, 0), m_background,
                  QRect(pVis->pos(), m_spectrumBackground.size()));
    m_spectrumWork = m_spectrumBackground.copy();
    m_gradient = QImage(2, std::max(h, 1), QImage::Format_RGB32);
    m_gradient.fill(Qt::black);
    for (int m = 0; m < h; ++m) {
        const QRgb c =
            qRgb(channel(qRed(SpectrumTopColor), qRed(SpectrumMidColor), qRed(SpectrumBtmColor), m, h),
                 channel(qGreen(SpectrumTopColor), qGreen(SpectrumMidColor), qGreen(SpectrumBtmColor), m, h),
                 channel(qBlue(SpectrumTopColor), qBlue(SpectrumMidColor), qBlue(SpectrumBtmColor), m, h));
        QRgb* row = reinterpret_cast<QRgb*>(m_gradient.scanLine(m));
        row[0] = row[1] = c;
    }
    // Peaks kept from a taller panel stay inside this one.
    for (double& level : PeakLevels) level = std::min(level, double(h));
    pVis->ShowFrame(nullptr);
}

void TFMain::DrawSpectrum(const TBandOut& bands) {
    if (m_spectrumWork.isNull() || m_spectrumWork.size() != m_spectrumBackground.size()) return;
    std::memcpy(m_spectrumWork.bits(), m_spectrumBackground.constBits(),
                size_t(m_spectrumWork.sizeInBytes()));
    if (VisMode <= 1)
        drawSpectrumBars(bands);
    else
        drawDigits();
    pVis->ShowFrame(&m_spectrumWork);
}

void TFMain::drawSpectrumBars(const TBandOut& bands) {
    const int h = std::clamp(SpectrumHeight, 0, kMaxSkinBitmapSide);
    const int barWidth = std::max(BarWidth, 1);
    const QRgb peakColor = SpectrumPeakColor | 0xFF000000;
    for (int i = 0; i < 25; ++i) {
        const int v = std::min<int>(bands[i], h);
        const int x = 2 + i * (barWidth + 1);
        if (v > 0 && VisMode == 0) {
            for (int c = 0; c < barWidth; ++c) copyColumn(m_spectrumWork, x + c, h - v, m_gradient, h - v, v);
        } else if (v > 0) {
            // The in-between column joins this bar to the next (the last bar
            // joins itself), starting half-way between their tops.
            const int w = i < 24 ? std::min<int>(bands[i + 1], h) : v;
            copyColumn(m_spectrumWork, x + 1, (2 * h - v - w) / 2 + 1, m_gradient, 0, v);
            for (int c = 0; c < barWidth; ++c) copyColumn(m_spectrumWork, x + c, h - v + 1, m_gradient, 0, v);
        }
        if (VisMode != 0) continue;
        // Peak markers hold for eight frames, then fall faster and faster.
        const int p = std::min(int(std::nearbyint(PeakLevels[i])), h);
        if (v >= p) {
            PeakLevels[i] = v + 0.01;
            PeakAges[i] = 0;
        } else if (p > 0) {
            const int row = h - p;
            if (row >= 0 && row < m_spectrumWork.height()) {
                QRgb* line = reinterpret_cast<QRgb*>(m_spectrumWork.scanLine(row));
                for (int c = x; c < x + barWidth && c < m_spectrumWork.width(); ++c) line[c] = peakColor;
            }
            if (PeakAges[i] >= 8) PeakLevels[i] -= (PeakAges[i] - 8) * 0.3;
            if (PeakLevels[i] < 0)
                PeakLevels[i] = 0;
            else
                ++PeakAges[i];
        }
    }
}

void TFMain::drawDigits() {
    std::string text = VisMode == 2 ? FormatDuration(OnGetPosition ? OnGetPosition() : 0) : TotalTimeText;
    if (text.size() > 5) text.erase(0, text.size() - 5);
    const QImage& digits = m_digits.isNull() ? BuiltinDigits() : m_digits;
    const int c = digits.width() / 12;
    if (c <= 0) return;
    const int panelWidth = m_spectrumWork.width();
    const int d = std::min(c, panelWidth / 5);
    int left = d < panelWidth / 5 ? (panelWidth - 5 * d) / 2 : 0;
    const QRgb key = ClampedPixel(digits, 1, 1);
    for (const char ch : text) {
        int cell = -1;
        if (ch == ':') cell = 10;
        if (ch >= '0' && ch <= '9') cell = ch - '0';
        if (cell >= 0)
            DrawTransparent(m_spectrumWork, digits, QRect(left, 0, d, digits.height()), key,
                            QRect(cell * c, 0, c, digits.height()));
        left += d;
    }
}
