#include "playlist/window/UPlayList.h"

#include <QActionGroup>
#include <QApplication>
#include <QBitmap>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

#include "playlist/window/QtChild.h"
#include "playlist/window/UProperties.h"

namespace {

// The strip with its magenta pixels made transparent.
QImage keyed(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0xFF00FF) line[x] = 0;
    }
    return out;
}

// A skin rectangle moved by the window's growth along its anchors.
QRect anchored(const QRect& r, unsigned align, QSize window, QSize bitmap) {
    QRect out = r;
    if (align & TPlWindowSkin::akRight) out.translate(window.width() - bitmap.width(), 0);
    if (align & TPlWindowSkin::akBottom) out.translate(0, window.height() - bitmap.height());
    return out;
}

}  // namespace

// ---- TPlButton ----

TPlButton::TPlButton(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
}

void TPlButton::SetStrip(const QImage& strip, int cells, int firstCell, int states) {
    m_strip = keyed(strip);
    m_cellWidth = cells > 0 ? strip.width() / cells : 0;
    m_first = firstCell;
    m_states = std::max(1, states);
    m_shown = 0;
    resize(m_cellWidth, strip.height());
    update();
}

void TPlButton::show(int state) {
    const int shown = std::min(state, m_states - 1);
    if (shown == m_shown) return;
    m_shown = shown;
    update();
}

void TPlButton::paintEvent(QPaintEvent*) {
    if (m_cellWidth <= 0) return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), m_strip,
                QRect((m_first + m_shown) * m_cellWidth, 0, m_cellWidth, m_strip.height()));
}

void TPlButton::enterEvent(QEnterEvent*) {
    show(1);
}

void TPlButton::leaveEvent(QEvent*) {
    show(0);
}

void TPlButton::mousePressEvent(QMouseEvent* event) {
    show(2);
    if (OnPress) OnPress(event->globalPosition().toPoint());
}

void TPlButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    show(inside ? 1 : 0);
    if (inside && event->button() == Qt::LeftButton && OnClick) OnClick();
}

// ---- TPlGrid ----

TPlGrid::TPlGrid(QWidget* parent, int columns) : QWidget(parent), m_columns(columns) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPlGrid::SetTop(std::size_t top) {
    const std::size_t rows = RowCount ? RowCount() : 0;
    const std::size_t clamped = rows == 0 ? 0 : std::min(top, rows - 1);
    if (clamped == m_top) return;
    m_top = clamped;
    update();
}

void TPlGrid::SetSelected(std::size_t row) {
    m_selected = row;
    m_top = plw::ScrollToShow(m_top, row, VisibleRows());
    update();
}

std::size_t TPlGrid::RowAt(QPoint pos) const {
    const std::size_t rows = RowCount ? RowCount() : 0;
    if (pos.y() < 0) return rows;
    const std::size_t row = m_top + std::size_t(pos.y() / plw::kRowHeight);
    return row < rows ? row : rows;
}

void TPlGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const TPlColors fallback;
    const TPlColors& c = m_colors ? *m_colors : fallback;
    const std::size_t rows = RowCount ? RowCount() : 0;
    const QFontMetrics metrics(font());
    // Wide enough for "00:00" in the grid's font.
    const int durationWidth =
        m_columns > 1 ? std::max(plw::kDurationColumn, metrics.horizontalAdvance(QStringLiteral("00:00")) + 6)
                      : 0;
    m_painted = 0;
    // Only the rows in view, plus a partly shown one at the bottom.
    for (int y = 0; y < height(); y += plw::kRowHeight) {
        const std::size_t row = m_top + std::size_t(y / plw::kRowHeight);
        const QRect cell(0, y, width(), plw::kRowHeight);
        const bool selected = row == m_selected && row < rows;
        QRgb back = (row % 2 == 0) ? c.bkgnd2 : c.bkgnd;
        QRgb text = c.text;
        if (selected) {
            back = c.selected;
            text = c.hilight;
        }
        // Below the grid's rows lies the grid's own background.
        if (row >= std::max(rows, m_minRows)) back = m_base;
        p.fillRect(cell, QColor(back));
        if (row >= rows) continue;
        ++m_painted;
        if (Highlighted && Highlighted(row)) text = c.hilight;
        p.setPen(QColor(text));
        const QRect name = QRect(0, y, width() - durationWidth, plw::kRowHeight).adjusted(2, 2, -2, -2);
        p.drawText(name, Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(CellText(row, 0), Qt::ElideRight, name.width()));
        if (durationWidth > 0) {
            const QRect dur =
                QRect(width() - durationWidth, y, durationWidth, plw::kRowHeight).adjusted(2, 2, -2, -2);
            p.drawText(dur, Qt::AlignRight | Qt::AlignVCenter,
                       metrics.elidedText(CellText(row, 1), Qt::ElideRight, dur.width()));
        }
    }
}

void TPlGrid::choose(std::size_t row) {
    const std::size_t rows = RowCount ? RowCount() : 0;
    if (row >= rows) return;
    SetSelected(row);
    if (OnSelect) OnSelect(row);
}

void TPlGrid::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const std::size_t row = RowAt(event->position().toPoint());
    if (row != m_selected) choose(row);
    if (event->button() == Qt::RightButton && OnContext) OnContext(event->globalPosition().toPoint());
}

void TPlGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const std::size_t row = RowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row < (RowCount ? RowCount() : 0) && OnDblClick) OnDblClick(row);
}

void TPlGrid::mouseMoveEvent(QMouseEvent* event) {
    // The wheel acts on the grid under the pointer.
    if (!hasFocus()) setFocus();
    const std::size_t row = RowAt(event->position().toPoint());
    if (row != m_hover) {
        m_hover = row;
        if (OnHoverRow) OnHoverRow(row, event->globalPosition().toPoint());
    }
}

void TPlGrid::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0 && OnWheel) OnWheel(delta > 0 ? -1 : 1);
    event->accept();
}

void TPlGrid::keyPressEvent(QKeyEvent* event) {
    const std::size_t rows = RowCount ? RowCount() : 0;
    if (rows == 0) return QWidget::keyPressEvent(event);
    const long page = std::max(1, VisibleRows() - 1);
    long target = long(m_selected);
    switch (event->key()) {
        case Qt::Key_Up:
            --target;
            break;
        case Qt::Key_Down:
            ++target;
            break;
        case Qt::Key_PageUp:
            target -= page;
            break;
        case Qt::Key_PageDown:
            target += page;
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = long(rows) - 1;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (OnDblClick && m_selected < rows) OnDblClick(m_selected);
            return;
        case Qt::Key_Delete:
            if (OnDelete) OnDelete();
            return;
        default:
            return QWidget::keyPressEvent(event);
    }
    target = std::clamp<long>(target, 0, long(rows) - 1);
    if (std::size_t(target) != m_selected) choose(std::size_t(target));
}

void TPlGrid::dragEnterEvent(QDragEnterEvent* event) {
    if (OnDrop && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TPlGrid::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    if (paths.empty() || !OnDrop) return;
    event->acceptProposedAction();
    OnDrop(paths);
}

// ---- TPlScrollBar ----

TPlScrollBar::TPlScrollBar(QWidget* parent) : QWidget(parent) {
    m_timer.setInterval(plw::kRepeatFirst);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    hide();
}

void TPlScrollBar::SetImages(const QImage& buttons, const QImage& thumb, const QImage& bar) {
    m_buttons = keyed(buttons);
    m_thumb = keyed(thumb);
    m_bar = bar;
    m_thumbSize = QSize(thumb.width() / 3, thumb.height());
    update();
}

void TPlScrollBar::Place(const plw::TScrollBarRects& rects, std::size_t selected, std::size_t rows) {
    m_rects = rects;
    setVisible(rects.shown);
    if (!rects.shown) return;
    setGeometry(rects.up.united(rects.down));
    PlaceThumb(selected, rows);
}

void TPlScrollBar::PlaceThumb(std::size_t selected, std::size_t rows) {
    m_rows = rows;
    m_thumbTop = plw::ThumbTop(m_rects, m_thumbSize.height(), selected, rows);
    update();
}

void TPlScrollBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect track = local(m_rects.track);
    if (!m_bar.isNull()) p.drawImage(track, m_bar);
    const int cell = m_buttons.width() / 3;
    const int half = m_buttons.height() / 2;
    const int upCell = m_held < 0 ? 2 : 0, downCell = m_held > 0 ? 2 : 0;
    p.drawImage(local(m_rects.up), m_buttons, QRect(upCell * cell, 0, cell, half));
    p.drawImage(local(m_rects.down), m_buttons, QRect(downCell * cell, half, cell, half));
    const QRect thumb(QPoint(local(m_rects.track).x(), m_thumbTop - y()), m_thumbSize);
    p.drawImage(
        thumb, m_thumb,
        QRect((m_dragThumb ? 2 : 0) * m_thumbSize.width(), 0, m_thumbSize.width(), m_thumbSize.height()));
}

void TPlScrollBar::tick() {
    if (m_held != 0 && OnStep) OnStep(m_held);
    m_timer.setInterval(plw::kRepeatNext);
}

void TPlScrollBar::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint() + pos();
    if (event->button() != Qt::LeftButton) return;
    if (m_rects.up.contains(at) || m_rects.down.contains(at)) {
        m_held = m_rects.up.contains(at) ? -1 : 1;
        if (OnStep) OnStep(m_held);
        m_timer.setInterval(plw::kRepeatFirst);
        m_timer.start();
        update();
    } else if (at.y() >= m_thumbTop && at.y() < m_thumbTop + m_thumbSize.height()) {
        m_dragThumb = true;
        m_grab = at.y() - m_thumbTop;
        update();
    }
}

void TPlScrollBar::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragThumb) return;
    const int y = int(event->position().y()) + pos().y();
    m_thumbTop = plw::ClampThumb(m_rects, m_thumbSize.height(), y - m_grab);
    if (OnThumbRow) OnThumbRow(plw::RowForThumb(m_rects, m_thumbSize.height(), m_thumbTop, m_rows));
    update();
}

void TPlScrollBar::mouseReleaseEvent(QMouseEvent*) {
    m_held = 0;
    m_dragThumb = false;
    m_timer.stop();
    m_timer.setInterval(plw::kRepeatFirst);
    update();
}

// ---- TPlGrip ----

TPlGrip::TPlGrip(QWidget* window, bool bottomRight) : QWidget(window), m_bottomRight(bottomRight) {
    setCursor(Qt::SizeFDiagCursor);
    resize(bottomRight ? 13 : 8, bottomRight ? 13 : 8);
}

void TPlGrip::mousePressEvent(QMouseEvent* event) {
    m_press = event->globalPosition().toPoint();
    m_start = window()->geometry();
}

void TPlGrip::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint delta = event->globalPosition().toPoint() - m_press;
    const QSize minimum = Minimum ? Minimum() : QSize(0, 0);
    const QRect r = m_bottomRight ? plw::DragBottomRight(m_start, delta, minimum)
                                  : plw::DragTopLeft(m_start, delta, minimum);
    if (r != window()->geometry()) window()->setGeometry(r);
}

// ---- TFPlayList ----

TFPlayList::TFPlayList(TPlayListModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_model(model) {
    setWindowRole("playlist");
    setWindowTitle(QStringLiteral("Quillet"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowOpacity(1.0);
    resize(m_minimum);

    m_lists = MakeChild<TPlGrid>(this, 1);
    m_list = MakeChild<TPlGrid>(this, 2);
    m_list->SetMinRows(1);  // an empty list shows one empty row
    m_listsBar = MakeChild<TPlScrollBar>(this);
    m_listBar = MakeChild<TPlScrollBar>(this);
    m_split = MakeChild<QWidget>(this);
    m_split->setCursor(Qt::SplitHCursor);
    m_split->installEventFilter(this);
    m_btnClose = MakeChild<TPlButton>(this);
    for (int tag = 0; tag < 7; ++tag) m_tools.push_back(MakeChild<TPlButton>(this));
    m_tools[4]->hide();  // find and edit: their menus are empty
    m_tools[5]->hide();
    m_dragrb = MakeChild<TPlGrip>(this, true);
    m_draglt = MakeChild<TPlGrip>(this, false);
    m_dragrb->Minimum = m_draglt->Minimum = [this] { return m_minimum; };
    m_lists->SetColors(&m_colors);
    m_list->SetColors(&m_colors);

    m_lists->RowCount = [this] { return m_model.ListCount(); };
    m_lists->CellText = [this](std::size_t row, int) {
        return QString::fromStdString(m_model.ListName(row));
    };
    m_lists->Highlighted = [this](std::size_t row) { return row == m_model.PlayingRow(); };
    m_lists->OnSelect = [this](std::size_t row) { ListsSelectCell(row); };
    m_lists->OnDblClick = [this](std::size_t) { playSelected(); };
    m_lists->OnContext = [this](QPoint at) { m_pmGroup.popup(at); };
    m_lists->OnWheel = [this](int step) {
        if (m_listsBar->isVisible())
            m_lists->SetTop(std::size_t(std::max<long>(0, long(m_lists->Top()) + step)));
    };

    m_list->RowCount = [this] { return m_model.Displayed().Items.size(); };
    m_list->CellText = [this](std::size_t row, int column) {
        const TStreamInfo& info = m_model.Displayed().Items[row].StreamInfo;
        return column == 0 ? QString::fromStdString(info.FileName) : plw::DurationText(info.Duration);
    };
    m_list->Highlighted = [this](std::size_t row) {
        return m_model.DisplayedRow() == m_model.PlayingRow() && int(row) == m_model.CurrentIndex();
    };
    m_list->OnSelect = [this](std::size_t row) { ListSelectCell(row); };
    m_list->OnDblClick = [this](std::size_t) { playSelected(); };
    m_list->OnContext = [this](QPoint at) {
        m_list->update();
        m_pmListBox.popup(at);
    };
    m_list->OnDelete = [this] { m_model.DeleteSelected1Click(ItemRow()); };
    m_list->OnWheel = [this](int step) {
        if (m_listBar->isVisible())
            m_list->SetTop(std::size_t(std::max<long>(0, long(m_list->Top()) + step)));
    };
    m_list->OnHoverRow = [this](std::size_t row, QPoint at) {
        const QString hint = ItemHint();
        m_list->setToolTip(hint);
        if (row < m_model.Displayed().Items.size() && !hint.isEmpty()) QToolTip::showText(at, hint, m_list);
    };
    m_list->OnDrop = [this](const std::vector<std::string>& paths) {
        if (OnDropFiles) OnDropFiles(paths);
    };
    m_list->setAcceptDrops(true);

    m_listsBar->OnStep = [this](int step) { followSelection(*m_lists, *m_listsBar, step); };
    m_listBar->OnStep = [this](int step) { followSelection(*m_list, *m_listBar, step); };
    m_listsBar->OnThumbRow = [this](std::size_t row) { m_lists->SetTop(row); };
    m_listBar->OnThumbRow = [this](std::size_t row) { m_list->SetTop(row); };

    m_btnClose->OnClick = [this] { hide(); };
    for (int tag : {0, 1, 2, 3, 6})
        m_tools[std::size_t(tag)]->OnPress = [this, tag](QPoint at) { popupToolbar(tag, at); };

    buildMenus();
    m_model.OnChange = [this](TPlayListChange what) { modelChanged(what); };
}

TFPlayList::~TFPlayList() {
    m_model.OnChange = nullptr;
}

void TFPlayList::buildMenus() {
    auto add = [](QMenu& menu, const char* text, std::function<void()> action) {
        QAction* a = menu.addAction(QString::fromUtf8(text));
        QObject::connect(a, &QAction::triggered, &menu, [action = std::move(action)] { action(); });
        return a;
    };
    auto addFiles = [this] { m_model.Files1Click(); };
    auto addUrl = [this] { m_model.AddURL1Click(); };
    auto deleteSelected = [this] { m_model.DeleteSelected1Click(ItemRow()); };
    add(m_pmAdd, "添加音乐文件...", addFiles);
    add(m_pmAdd, "添加流媒体URL ...", addUrl);
    QObject::connect(&m_pmAdd, &QMenu::aboutToShow, this, [this] {
        // The extra items (CD tracks) come and go with the drives.
        for (QAction* a : m_pmAdd.actions().mid(2)) {
            m_pmAdd.removeAction(a);
            a->deleteLater();
        }
        if (!ExtraAddItems) return;
        for (auto& [caption, action] : ExtraAddItems())
            QObject::connect(m_pmAdd.addAction(caption), &QAction::triggered, &m_pmAdd, action);
    });
    add(m_pmDel, "删除选中项目", deleteSelected);
    add(m_pmList, "列表另存为...", [this] { m_model.SaveList1Click(); });
    add(m_pmList, "重命名列表", [this] { m_model.RenameList1Click(); });
    add(m_pmList, "清空列表", [this] { m_model.ClearList1Click(); });
    add(m_pmList, "删除列表", [this] { m_model.DeleteList1Click(); });
    add(m_pmList, "新建列表", [this] { m_model.NewGroup1Click(); });
    add(m_pmSort, "按标题排序", [this] { m_model.SortbyTitle1Click(); });
    add(m_pmSort, "按文件路径排序", [this] { m_model.SortbyFileName1Click(); });
    add(m_pmSort, "按专辑名称排序", [this] { m_model.SortbyAlbum1Click(); });
    add(m_pmSort, "按艺术家排序", [this] { m_model.SortbyArtist1Click(); });
    add(m_pmSort, "恢复打开顺序", [this] { m_model.SortbyOpenIndex1Click(); });
    auto* group = MakeChild<QActionGroup>(&m_pmMode);
    const std::pair<const char*, TPlayMode> modes[] = {{"按列表顺序播放", TPlayMode::InOrder},
                                                       {"随机播放", TPlayMode::Random},
                                                       {"只播放当前歌曲", TPlayMode::CurrentOnly}};
    for (const auto& [text, mode] : modes) {
        QAction* a = add(m_pmMode, text, [this, mode = mode] { m_model.OrderPlay1Click(mode); });
        a->setCheckable(true);
        a->setChecked(m_model.PlayMode() == mode);
        group->addAction(a);
        m_modes.push_back(a);
    }
    m_pmMode.addSeparator();
    // The check mark shows the model's flag from the start.
    m_loop = add(m_pmMode, "循环播放", [this] { m_model.PlayOneRecycle1Click(); });
    m_loop->setCheckable(true);
    m_loop->setChecked(m_model.Loop());

    add(m_pmListBox, "播放", [this] { playSelected(); });
    m_pmListBox.addSeparator();
    add(m_pmListBox, "添加音乐文件...", addFiles);
    add(m_pmListBox, "添加流媒体 URL...", addUrl);
    add(m_pmListBox, "删除当前选中的歌曲", deleteSelected);
    m_pmListBox.addSeparator();
    add(m_pmListBox, "移动当前歌曲到其他列表...", [this] { m_model.MovetoList1Click(ItemRow()); });
    add(m_pmListBox, "复制当前歌曲到其他列表...", [this] { m_model.CopytoList1Click(ItemRow()); });
    add(m_pmListBox, "清空当前列表", [this] { m_model.ClearList1Click(); });
    m_pmListBox.addSeparator();
    add(m_pmListBox, "显示歌曲标题", [] {});
    add(m_pmListBox, "显示文件名称路径", [] {});
    m_pmListBox.addSeparator();
    add(m_pmListBox, "歌曲文件属性...", [this] { FilePropertis1Click(); });

    add(m_pmGroup, "新建列表...", [this] { m_model.NewGroup1Click(); });
    add(m_pmGroup, "删除当前列表", [this] { m_model.DeleteList1Click(); });
    add(m_pmGroup, "列表重命名...", [this] { m_model.RenameList1Click(); });
}

QMenu& TFPlayList::ToolbarMenu(int tag) {
    switch (tag) {
        case 0:
            return m_pmAdd;
        case 1:
            return m_pmDel;
        case 2:
            return m_pmList;
        case 3:
            return m_pmSort;
        case 4:
            return m_pmFind;
        case 5:
            return m_pmEdit;
        default:
            return m_pmMode;
    }
}

void TFPlayList::popupToolbar(int tag, QPoint globalPos) {
    TPlButton* button = m_tools[std::size_t(tag)];
    QPoint at(globalPos.x(), button->mapToGlobal(QPoint(0, 0)).y());
    QMenu& menu = ToolbarMenu(tag);
    // The delete menu opens upwards from the button's top edge.
    if (tag == 1) at.ry() -= menu.sizeHint().height();
    menu.popup(at);
    button->update();
}

int TFPlayList::ItemRow() const {
    const std::size_t count = m_model.Displayed().Items.size();
    return m_list->Selected() < count ? int(m_list->Selected()) : -1;
}

void TFPlayList::SelectItemRow(int row) {
    if (row < 0 || std::size_t(row) >= m_model.Displayed().Items.size()) return;
    m_list->SetSelected(std::size_t(row));
    ListSelectCell(std::size_t(row));
}

QString TFPlayList::ItemHint() const {
    const std::size_t row = m_list->HoverRow();
    const auto& items = m_model.Displayed().Items;
    return row < items.size() ? QString::fromStdString(items[row].StreamInfo.Title) : QString();
}

void TFPlayList::ListsSelectCell(std::size_t row) {
    m_model.ListsSelectCell(row);
}

void TFPlayList::ListSelectCell(std::size_t row) {
    m_listBar->PlaceThumb(row, std::max<std::size_t>(1, m_model.Displayed().Items.size()));
}

void TFPlayList::followSelection(TPlGrid& grid, TPlScrollBar& bar, int step) {
    const std::size_t rows = grid.RowCount();
    const long target = long(grid.Selected()) + step;
    if (target < 0 || std::size_t(target) >= rows) return;
    grid.SetSelected(std::size_t(target));
    bar.PlaceThumb(std::size_t(target), rows);
    if (&grid == m_lists) ListsSelectCell(std::size_t(target));
}

void TFPlayList::playSelected() {
    m_model.ListDblClick(ItemRow());
}

void TFPlayList::FilePropertis1Click() {
    const int row = ItemRow();
    if (row < 0) return;
    TMediaInf& item = m_model.DisplayedItem(std::size_t(row));
    bool changed = false;
    if (ShowProperties) {
        changed = ShowProperties(item);
    } else {
        TFProperties dialog(this);
        dialog.FillMediaInf(item);
        dialog.exec();
        changed = dialog.Changed();
    }
    if (changed) m_model.SetModified();
    m_list->update();
}

void TFPlayList::modelChanged(TPlayListChange what) {
    switch (what) {
        case TPlayListChange::Lists:
        case TPlayListChange::Items:
            Refresh();
            break;
        case TPlayListChange::Current:
            m_lists->SetSelected(m_model.DisplayedRow());
            m_lists->update();
            m_list->update();
            break;
    }
}

void TFPlayList::Refresh() {
    const std::size_t items = m_model.Displayed().Items.size();
    if (m_list->Selected() >= std::max<std::size_t>(1, items)) m_list->SetSelected(0);
    m_lists->SetSelected(m_model.DisplayedRow());
    layoutControls();
    m_lists->update();
    m_list->update();
}

void TFPlayList::MoveSplitter(int dx) {
    m_splitX += dx;
    layoutControls();
    m_splitX = m_layout.splitX;
}

void TFPlayList::layoutControls() {
    if (!m_skinned) return;
    const plw::TSkinGeometry geometry{m_skin.background.size(), m_skin.listArea,
                                      m_skin.scrollButtons.width() / 3, m_skin.scrollButtons.height() / 2};
    const std::size_t items = m_model.Displayed().Items.size();
    m_layout = plw::Layout(geometry, size(), m_splitX, m_model.ListCount(), std::max<std::size_t>(1, items));
    m_lists->setGeometry(m_layout.lists);
    m_list->setGeometry(m_layout.list);
    m_split->setGeometry(m_layout.splitter);
    if (!m_layout.listBar.shown) m_list->SetTop(0);
    m_list->SetSelected(m_list->Selected());
    m_lists->SetSelected(m_lists->Selected());
    m_listsBar->Place(m_layout.listsBar, m_lists->Selected(), m_model.ListCount());
    m_listBar->Place(m_layout.listBar, m_list->Selected(), std::max<std::size_t>(1, items));
    m_dragrb->move(width() - m_dragrb->width(), height() - m_dragrb->height());
    m_draglt->move(0, 0);
    m_dragrb->raise();
    m_draglt->raise();
}

void TFPlayList::placeClose() {
    if (m_skin.stage < TPlWindowSkin::psClose) return;
    // The close box's rectangle is in the coordinates of the window at its
    // minimum size; its anchors keep it there as the window grows.
    const QRect r = anchored(m_skin.closePosition, m_skin.closeAlign, size(), m_minimum);
    m_btnClose->move(r.x() + r.width() - m_btnClose->width(),
                     r.y() + (r.height() - m_btnClose->height()) / 2);
}

void TFPlayList::placeToolbar() {
    if (m_skin.stage < TPlWindowSkin::psToolbar) return;
    const QRect r = anchored(m_skin.toolbarPosition, m_skin.toolbarAlign, size(), m_skin.background.size());
    int x = r.x();
    for (int tag : {0, 1, 2, 3, 6}) {
        TPlButton* b = m_tools[std::size_t(tag)];
        b->move(x, r.y() + (r.height() - b->height()) / 2);
        x += b->width();
    }
}

void TFPlayList::paintBackground() {
    const QImage& bitmap = m_skin.background;
    m_painted = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_painted.fill(Qt::black);
    const plw::TNinePiece pieces = plw::NinePiece(bitmap.size(), m_skin.stretch, size());
    QPainter p(&m_painted);
    for (std::size_t i = 0; i < 9; ++i)
        if (!pieces.source[i].isEmpty() && !pieces.target[i].isEmpty())
            p.drawImage(pieces.target[i], bitmap, pieces.source[i]);
    p.end();
    // The magenta pixels are cut out of the window (a mask bitmap's set
    // pixels are the ones Qt leaves out).
    const QImage mask = m_painted.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskInColor);
    setMask(QRegion(QBitmap::fromImage(mask)));
    update();
}

bool TFPlayList::eventFilter(QObject* watched, QEvent* event) {
    // The splitter: pressing starts a drag that moves the list-name
    // column's edge with the pointer.
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (watched != m_split || mouse == nullptr) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            m_splitDrag = mouse->globalPosition().toPoint().x();
            return true;
        case QEvent::MouseMove:
            if (m_splitDrag) {
                const int x = mouse->globalPosition().toPoint().x();
                MoveSplitter(x - *m_splitDrag);
                m_splitDrag = x;
            }
            return true;
        case QEvent::MouseButtonRelease:
            m_splitDrag.reset();
            return true;
        default:
            return false;
    }
}

void TFPlayList::resizeEvent(QResizeEvent*) {
    relayout();
}

void TFPlayList::relayout() {
    if (!m_skinned) return;
    paintBackground();
    placeClose();
    placeToolbar();
    layoutControls();
}

void TFPlayList::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_painted.isNull())
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(QPoint(0, 0), m_painted);
}

void TFPlayList::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_dragging = true;
    m_dragStart = event->globalPosition().toPoint();
    m_windowStart = pos();
}

void TFPlayList::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) return;
    const QPoint wanted = m_windowStart + event->globalPosition().toPoint() - m_dragStart;
    const QScreen* s = screen();
    move(s ? plw::Snap(wanted, size(), s->availableGeometry()) : wanted);
}

void TFPlayList::mouseReleaseEvent(QMouseEvent*) {
    m_dragging = false;
}

void TFPlayList::ApplyPlaylistSkin(const TPlWindowSkin& skin, const TPlColors* colors) {
    if (skin.stage >= TPlWindowSkin::psWindow) {
        m_skin.position = skin.position;
        m_skin.stretch = skin.stretch;
        m_skin.background = skin.background;
        m_minimum = skin.position.size().expandedTo(QSize(1, 1));
        setMinimumSize(m_minimum);
    }
    if (skin.stage >= TPlWindowSkin::psClose) {
        m_skin.closePosition = skin.closePosition;
        m_skin.closeImage = skin.closeImage;
        m_skin.closeAlign = skin.closeAlign;
        m_btnClose->SetStrip(skin.closeImage, 4, 0, 3);
    }
    if (skin.stage >= TPlWindowSkin::psToolbar) {
        m_skin.toolbarPosition = skin.toolbarPosition;
        m_skin.toolbarAlign = skin.toolbarAlign;
        m_skin.toolbarImage = skin.toolbarImage;
        m_skin.toolbarHotImage = skin.toolbarHotImage;
        // With a hot image the cells of both images become two states.
        QImage strip = skin.toolbarImage;
        const bool hot = !skin.toolbarHotImage.isNull();
        for (int tag = 0; tag < 7; ++tag) {
            TPlButton* b = m_tools[std::size_t(tag)];
            if (hot) {
                const int cell = skin.toolbarImage.width() / 7;
                QImage both(cell * 2, skin.toolbarImage.height(), QImage::Format_RGB32);
                both.fill(qRgb(255, 0, 255));
                QPainter p(&both);
                p.drawImage(QPoint(0, 0), skin.toolbarImage, QRect(tag * cell, 0, cell, both.height()));
                p.drawImage(QPoint(cell, 0), skin.toolbarHotImage, QRect(tag * cell, 0, cell, both.height()));
                p.end();
                b->SetStrip(both, 2, 0, 2);
            } else {
                b->SetStrip(strip, 7, tag, 1);
            }
        }
    }
    if (skin.stage >= TPlWindowSkin::psScrollbar) {
        m_skin.scrollButtons = skin.scrollButtons;
        m_skin.scrollThumb = skin.scrollThumb;
        m_skin.scrollBar = skin.scrollBar;
        m_listsBar->SetImages(skin.scrollButtons, skin.scrollThumb, skin.scrollBar);
        m_listBar->SetImages(skin.scrollButtons, skin.scrollThumb, skin.scrollBar);
    }
    if (skin.stage >= TPlWindowSkin::psList) {
        m_skin.listArea = skin.listArea;
        m_skin.listColor = skin.listColor;
        m_splitX = plw::InitialSplit(skin.listArea);
    }
    if (colors) m_colors = *colors;
    if (skin.stage < TPlWindowSkin::psList) {
        update();
        return;
    }
    m_skin.stage = TPlWindowSkin::psList;
    m_skinned = true;
    QPalette palette = m_lists->palette();
    palette.setColor(QPalette::Window, QColor(skin.listColor));
    m_lists->setPalette(palette);
    m_list->setPalette(palette);
    m_lists->SetBase(skin.listColor);
    m_list->SetBase(skin.listColor);
    // A hidden window gets its resize event only when shown: lay out now.
    resize(m_minimum);
    relayout();
    m_splitX = m_layout.splitX;
    m_btnClose->update();
    m_lists->update();
    m_list->update();
    if (MiniRect) move(plw::PlaceAbove(MiniRect(), size()));
}
