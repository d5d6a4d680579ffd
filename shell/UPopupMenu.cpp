#include "shell/UPopupMenu.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

namespace {

const QColor kPanel(0xff, 0xff, 0xff);
const QColor kColumn(0xee, 0xef, 0xf2);
const QColor kFrame(0x8e, 0x93, 0x9c);
const QColor kRule(0xd4, 0xd7, 0xdc);
const QColor kHot(0xd7, 0xe8, 0xfa);
const QColor kHotEdge(0x7d, 0xaa, 0xdc);
const QColor kText(0x1e, 0x1f, 0x22);
const QColor kDisabledText(0x9a, 0x9d, 0xa3);
const QColor kMark(0x24, 0x4f, 0x8f);
constexpr int kIconSize = 16;
constexpr int kItemHeight = 22;
constexpr int kSeparatorHeight = 7;
constexpr int kTextGap = 8;      // between the column and the caption
constexpr int kArrowSpace = 22;  // right of the caption: room for a submenu's arrow

void drawGlyph(QPainter& p, int index) {
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x3b, 0x5b, 0x8c);
    const QColor light(0xa9, 0xc4, 0xea);
    p.setPen(QPen(ink, 1.2));
    switch (index) {
        case miiSettings: {  // a gear: a toothed wheel round a hole
            p.setBrush(light);
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(8, 8);
                p.rotate(i * 45.0);
                p.fillRect(QRectF(-1.5, -7.5, 3, 3), ink);
                p.restore();
            }
            p.drawEllipse(QPointF(8, 8), 5, 5);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(8, 8), 2, 2);
            break;
        }
        case miiPlaylist:  // lines of a list with bullets
            for (int row = 0; row < 4; ++row) {
                p.fillRect(QRectF(2, 2.5 + row * 3.5, 2, 2), ink);
                p.fillRect(QRectF(5.5, 3 + row * 3.5, 8.5, 1.2), ink);
            }
            break;
        case miiStop:
            p.setBrush(light);
            p.drawRect(QRectF(3.5, 3.5, 9, 9));
            break;
        case miiPlay:
            p.setBrush(light);
            p.drawPolygon(QPolygonF({QPointF(4.5, 2.5), QPointF(13, 8), QPointF(4.5, 13.5)}));
            break;
        case miiPause:
            p.setBrush(light);
            p.drawRect(QRectF(3.5, 3, 3, 10));
            p.drawRect(QRectF(9.5, 3, 3, 10));
            break;
        case miiProperties:  // a sheet with an "i"
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3.5, 1.5, 9, 13));
            p.fillRect(QRectF(7.2, 4, 1.6, 1.6), ink);
            p.fillRect(QRectF(7.2, 6.8, 1.6, 5.5), ink);
            break;
        case miiOpen:  // a folder
            p.setBrush(QColor(0xf2, 0xd2, 0x7a));
            p.setPen(QPen(QColor(0x9a, 0x73, 0x1c), 1.2));
            p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5), QPointF(14.5, 5),
                                     QPointF(14.5, 13.5), QPointF(1.5, 13.5)}));
            p.drawLine(QPointF(1.5, 7), QPointF(14.5, 7));
            break;
        default:
            break;
    }
}

void drawCheck(QPainter& p, const QRect& cell, bool radio) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(cell).center();
    if (radio) {
        p.setPen(Qt::NoPen);
        p.setBrush(kMark);
        p.drawEllipse(c, 3.2, 3.2);
    } else {
        p.setPen(QPen(kMark, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({c + QPointF(-4, 0), c + QPointF(-1.2, 3), c + QPointF(4, -3.5)}));
    }
    p.restore();
}

}  // namespace

QIcon MenuImage(int index) {
    if (index < 0 || index >= kMenuImageCount) return {};
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawGlyph(painter, index);
    painter.end();
    return QIcon(pixmap);
}

TFlatMenuStyle::TFlatMenuStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void TFlatMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
    if (element == PE_PanelMenu || element == PE_FrameMenu) {
        if (element == PE_PanelMenu) {
            painter->fillRect(option->rect, kPanel);
            painter->fillRect(QRect(option->rect.topLeft(), QSize(kIconColumn, option->rect.height())),
                              kColumn);
        }
        painter->setPen(kFrame);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TFlatMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
    if (element == CE_MenuEmptyArea) {
        painter->fillRect(option->rect, kPanel);
        return;
    }
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || item == nullptr) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const QRect r = item->rect;
    painter->save();
    painter->fillRect(r, kPanel);
    painter->fillRect(QRect(r.left(), r.top(), kIconColumn, r.height()), kColumn);
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        const int y = r.top() + r.height() / 2;
        painter->setPen(kRule);
        painter->drawLine(r.left() + kIconColumn + 4, y, r.right() - 4, y);
        painter->restore();
        return;
    }
    const bool enabled = item->state & State_Enabled;
    if ((item->state & State_Selected) && enabled) {
        painter->setPen(kHotEdge);
        painter->setBrush(kHot);
        painter->drawRect(r.adjusted(2, 0, -3, -1));
    }
    const QRect cell(r.left(), r.top(), kIconColumn, r.height());
    if (!item->icon.isNull()) {
        const QPixmap pixmap =
            item->icon.pixmap(QSize(kIconSize, kIconSize), enabled ? QIcon::Normal : QIcon::Disabled);
        painter->drawPixmap(cell.left() + (cell.width() - kIconSize) / 2,
                            cell.top() + (cell.height() - kIconSize) / 2, pixmap);
    } else if (item->checked && item->checkType != QStyleOptionMenuItem::NotCheckable) {
        drawCheck(*painter, cell, item->checkType == QStyleOptionMenuItem::Exclusive);
    }
    QString text = item->text;
    QString shortcut;
    if (const int tab = text.indexOf('\t'); tab >= 0) {
        shortcut = text.mid(tab + 1);
        text = text.left(tab);
    }
    painter->setPen(enabled ? kText : kDisabledText);
    painter->setFont(item->font);
    const QRect textRect(r.left() + kIconColumn + kTextGap, r.top(),
                         r.width() - kIconColumn - kTextGap - kArrowSpace, r.height());
    const int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    painter->drawText(textRect, flags | Qt::AlignLeft, text);
    if (!shortcut.isEmpty()) painter->drawText(textRect, flags | Qt::AlignRight, shortcut);
    if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
        const int x = r.right() - 12, y = r.top() + r.height() / 2;
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(enabled ? kText : kDisabledText);
        painter->drawPolygon(QPolygonF({QPointF(x, y - 4), QPointF(x + 4, y), QPointF(x, y + 4)}));
    }
    painter->restore();
}

QSize TFlatMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                       const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuItem || item == nullptr)
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    if (item->menuItemType == QStyleOptionMenuItem::Separator) return {size.width(), kSeparatorHeight};
    const QFontMetrics fm(item->font);
    QString text = item->text;
    int extra = 0;
    if (const int tab = text.indexOf('\t'); tab >= 0) {
        extra = fm.horizontalAdvance(text.mid(tab + 1)) + 16;
        text = text.left(tab);
    }
    const int textWidth = fm.size(Qt::TextShowMnemonic | Qt::TextSingleLine, text).width();
    return {kIconColumn + kTextGap + textWidth + extra + kArrowSpace, std::max(kItemHeight, fm.height() + 6)};
}

int TFlatMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    switch (metric) {
        case PM_MenuPanelWidth:
            return 1;
        case PM_MenuHMargin:
            return 0;
        case PM_MenuVMargin:
            return 2;
        case PM_SmallIconSize:
            return kIconSize;
        case PM_SubMenuOverlap:
            return 0;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int TFlatMenuStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                              QStyleHintReturn* returnData) const {
    // No fading or sliding in: the menu shows at once, the same every time.
    if (hint == SH_Menu_FadeOutOnHide || hint == SH_Menu_SupportsSections) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
