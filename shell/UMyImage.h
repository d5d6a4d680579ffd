// The skinned image button of both windows and the colour-keyed copy it
// draws with. Qt; user-interface thread only.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <functional>

#include "shell/Ufuncs.h"

// The colour that skins use for "no pixel here": red 255, green 0, blue 255.
inline constexpr QRgb kSkinTransparent = 0xFF00FF;

// Copies sourceRect of source, stretched (nearest pixel, no smoothing) to the
// size of targetRect, into target, leaving the pixels whose colour (alpha
// ignored) equals `transparent` unpainted. Both rectangles are clipped to
// their images, so any rectangle is safe. Allocates nothing; `target` must be
// Format_RGB32 or Format_ARGB32 (the source is read in any format, fastest in
// those two).
void DrawTransparent(QImage& target, const QImage& source, const QRect& targetRect, QRgb transparent,
                     const QRect& sourceRect);

// Copies sourceRect of source unscaled into target with its top-left corner
// at `at`; what falls outside either image is skipped. Allocates nothing;
// `target` must be Format_RGB32 or Format_ARGB32.
void CopyImageRect(QImage& target, QPoint at, const QImage& source, const QRect& sourceRect);

// A control that shows one frame of a strip image (up to four frames side by
// side: normal, hover, pressed, disabled), drawn with the transparent colour
// over the piece of the window background that lies under the control. It
// switches frames as the mouse enters, presses, releases and leaves.
//
// The owner's handlers run after the frame changed: OnMouseDown, OnMouseMove
// and OnMouseUp with the event (coordinates are the control's), and OnClick
// when the left button is released inside the control it went down in.
class TSkinImage : public QWidget {
  public:
    explicit TSkinImage(QWidget* parent = nullptr);

    // Copies the strip and sets the frames up.
    void SetStrip(const QImage& strip);
    const QImage& Strip() const { return m_strip; }
    // 1 to 4; other values are taken as the nearest of them. Call SetupFrames
    // afterwards.
    void SetFrameCount(int count);
    int FrameCount() const { return m_frameCount; }
    // The window's background picture, which the control copies the piece
    // under itself from. Not owned; must outlive the control or be reset.
    void SetBackgroundSource(const QImage* background) { m_background = background; }
    void SetTransparentColor(QRgb color) { m_transparent = color & 0xFFFFFF; }
    // The control's rectangle from the skin; its size is the control's size.
    void SetSkinRect(const TRect& rect) { m_skinRect = rect; }
    const TRect& SkinRect() const { return m_skinRect; }

    // The permanent pressed look (a mute button that is on). Shown at once.
    bool Pressed() const { return m_pressed; }
    void SetPressed(bool pressed);

    // Frame size, control size, frame rectangles; then the normal (or
    // pressed) frame is drawn. A strip narrower than its frame count gives
    // empty frames, never a division by zero.
    void SetupFrames();

    // Redraws the current frame over the background piece now under the
    // control (after the owner moved it).
    void Redraw();

    enum TFrame { frNormal, frHover, frPressed, frDisabled };
    QRect FrameRect(TFrame frame) const { return m_frames[frame]; }
    int FrameWidth() const { return m_frameWidth; }
    int FrameHeight() const { return m_frameHeight; }
    // The control's picture (frame size): background piece plus frame.
    const QImage& Picture() const { return m_picture; }
    TFrame ShownFrame() const { return m_shown; }

    std::function<void(QMouseEvent*)> OnMouseDown;
    std::function<void(QMouseEvent*)> OnMouseMove;
    std::function<void(QMouseEvent*)> OnMouseUp;
    std::function<void()> OnClick;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void showFrame(TFrame frame);
    // Where the picture lies inside the control (centred).
    QPoint pictureOrigin() const;

    QImage m_strip;
    QImage m_picture;
    int m_frameCount = 1;
    const QImage* m_background = nullptr;
    QRgb m_transparent = kSkinTransparent;
    bool m_pressed = false;
    bool m_buttonDown = false;
    QRect m_frames[4];
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    TRect m_skinRect;
    TFrame m_shown = frNormal;
};
