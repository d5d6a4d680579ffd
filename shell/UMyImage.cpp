#include "shell/UMyImage.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {

// A rectangle x1, y1, x2, y2 (exclusive) as a QRect.
QRect rectOf(int x1, int y1, int x2, int y2) {
    return QRect(x1, y1, x2 - x1, y2 - y1);
}

QRgb pixelAt(const QImage& image, int x, int y) {
    const QImage::Format f = image.format();
    if (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32)
        return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
    return image.pixel(x, y);
}

}  // namespace

void DrawTransparent(QImage& target, const QImage& source, const QRect& targetRect, QRgb transparent,
                     const QRect& sourceRect) {
    const QRect src = sourceRect.intersected(source.rect());
    if (src.isEmpty() || targetRect.isEmpty() || target.isNull()) return;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32) return;
    const QRect dst = targetRect.intersected(target.rect());
    if (dst.isEmpty()) return;
    const QRgb key = transparent & 0xFFFFFF;
    // Nearest pixel: target pixel (x, y) of targetRect takes the source pixel
    // of sourceRect at the same relative place, as a stretched copy does.
    // Rows and columns of the requested source rectangle that lie outside
    // the source image paint nothing.
    const qint64 tw = targetRect.width(), th = targetRect.height();
    const qint64 sw = sourceRect.width(), sh = sourceRect.height();
    for (int y = dst.top(); y <= dst.bottom(); ++y) {
        const int sy = sourceRect.top() + int((y - targetRect.top()) * sh / th);
        if (sy < src.top() || sy > src.bottom()) continue;
        QRgb* out = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = dst.left(); x <= dst.right(); ++x) {
            const int sx = sourceRect.left() + int((x - targetRect.left()) * sw / tw);
            if (sx < src.left() || sx > src.right()) continue;
            const QRgb p = pixelAt(source, sx, sy);
            if ((p & 0xFFFFFF) != key) out[x] = p | 0xFF000000;
        }
    }
}

void CopyImageRect(QImage& target, QPoint at, const QImage& source, const QRect& sourceRect) {
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32) return;
    // The part of the source rectangle whose source and target pixels exist.
    QRect src = sourceRect.intersected(source.rect());
    src = src.intersected(target.rect().translated(sourceRect.topLeft() - at));
    if (src.isEmpty()) return;
    const QPoint shift = at - sourceRect.topLeft();
    const bool fast = source.format() == target.format();
    for (int y = src.top(); y <= src.bottom(); ++y) {
        QRgb* out = reinterpret_cast<QRgb*>(target.scanLine(y + shift.y())) + src.left() + shift.x();
        if (fast) {
            std::copy_n(reinterpret_cast<const QRgb*>(source.constScanLine(y)) + src.left(), src.width(),
                        out);
        } else {
            for (int x = src.left(); x <= src.right(); ++x) *out++ = source.pixel(x, y);
        }
    }
}

TSkinImage::TSkinImage(QWidget* parent) : QWidget(parent) {}

void TSkinImage::SetStrip(const QImage& strip) {
    m_strip = strip.convertToFormat(QImage::Format_RGB32);
    SetupFrames();
}

void TSkinImage::SetFrameCount(int count) {
    m_frameCount = std::clamp(count, 1, 4);
}

void TSkinImage::SetPressed(bool pressed) {
    if (m_pressed == pressed) return;
    m_pressed = pressed;
    // Shown at once rather than at the next mouse event.
    if (m_pressed)
        showFrame(frPressed);
    else
        showFrame(underMouse() ? frHover : frNormal);
}

void TSkinImage::SetupFrames() {
    const int fw = m_strip.width() / m_frameCount;
    const int fh = fw > 0 ? m_strip.height() : 0;
    m_frameWidth = fw;
    m_frameHeight = fh;
    m_picture = fw > 0 && fh > 0 ? QImage(fw, fh, QImage::Format_RGB32) : QImage();
    if (m_skinRect.x2 == m_skinRect.x1 || m_skinRect.y2 == m_skinRect.y1) m_skinRect = TRect{0, 0, fw, fh};
    // Skin rectangles are any integers: sizes in 64 bits, clamped.
    resize(ClampSkinSize(qint64(m_skinRect.x2) - m_skinRect.x1),
           ClampSkinSize(qint64(m_skinRect.y2) - m_skinRect.y1));
    m_frames[frNormal] = rectOf(0, 0, fw, fh);
    m_frames[frDisabled] = m_frames[frNormal];
    m_frames[frPressed] = m_frames[frNormal];
    if (m_frameCount == 1) {
        m_frames[frHover] = rectOf(1, 1, fw, fh);
    } else {
        m_frames[frHover] = rectOf(fw, 0, 2 * fw, fh);
        if (m_frameCount >= 3) m_frames[frPressed] = rectOf(2 * fw, 0, 3 * fw, fh);
        if (m_frameCount == 4) m_frames[frDisabled] = rectOf(3 * fw, 0, 4 * fw, fh);
    }
    showFrame(m_pressed ? frPressed : frNormal);
}

void TSkinImage::Redraw() {
    showFrame(m_shown);
}

QPoint TSkinImage::pictureOrigin() const {
    return QPoint((width() - m_picture.width()) / 2, (height() - m_picture.height()) / 2);
}

void TSkinImage::showFrame(TFrame frame) {
    m_shown = frame;
    if (m_picture.isNull()) {
        update();
        return;
    }
    if (m_background) {
        // The piece of the window background under the picture.
        m_picture.fill(Qt::black);
        CopyImageRect(m_picture, QPoint(0, 0), *m_background,
                      QRect(pos() + pictureOrigin(), m_picture.size()));
    }
    DrawTransparent(m_picture, m_strip, m_picture.rect(), m_transparent, m_frames[frame]);
    update();
}

void TSkinImage::paintEvent(QPaintEvent*) {
    if (m_picture.isNull()) return;
    QPainter painter(this);
    painter.drawImage(pictureOrigin(), m_picture);
}

void TSkinImage::enterEvent(QEnterEvent*) {
    showFrame(m_pressed ? frPressed : frHover);
}

void TSkinImage::leaveEvent(QEvent*) {
    if (!m_buttonDown) showFrame(m_pressed ? frPressed : frNormal);
}

void TSkinImage::mousePressEvent(QMouseEvent* event) {
    m_buttonDown = true;
    showFrame(frPressed);
    if (OnMouseDown) OnMouseDown(event);
}

void TSkinImage::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) OnMouseMove(event);
}

void TSkinImage::mouseReleaseEvent(QMouseEvent* event) {
    m_buttonDown = event->buttons() != Qt::NoButton;
    const bool inside = rect().contains(event->position().toPoint());
    showFrame(m_pressed ? frPressed : inside ? frHover : frNormal);
    if (OnMouseUp) OnMouseUp(event);
    if (inside && event->button() == Qt::LeftButton && OnClick) OnClick();
}
