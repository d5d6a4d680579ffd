// The flat look of the context menu: a white panel with a grey column on the
// left that holds the icons and check marks, a light-blue bar under the item
// the mouse is on, and the menu's image list of 16 x 16 icons drawn here.
// Qt; user-interface thread only.
#pragma once

#include <QIcon>
#include <QProxyStyle>

// The image list's icons, by index.
enum TMenuImage {
    miiSettings = 0,
    miiPlaylist = 1,
    miiStop = 2,
    miiPlay = 3,
    miiPause = 4,
    miiProperties = 5,
    miiOpen = 6,
    kMenuImageCount = 7
};

// The icon at `index`; a null icon for an index outside the list.
QIcon MenuImage(int index);

// Draws menus flat; everything else as the base style does. Give it to a
// QMenu with setStyle (the menu does not take ownership).
class TFlatMenuStyle : public QProxyStyle {
  public:
    TFlatMenuStyle();

    static constexpr int kIconColumn = 26;  // width of the left column

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};
