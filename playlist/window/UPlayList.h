// The playlist window TFPlayList: a borderless, skinned, resizable window with
// the grid of list names, the grid of the displayed list's items, their
// scroll bars, the splitter, the toolbar and its menus, the context menus and
// two resize grips. Every command goes to the playlist model; the window
// keeps only the item grid's selection and what it draws. Created once,
// hidden and shown afterwards. Qt Widgets; user-interface thread only.
#pragma once

#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "playlist/PlayListModel.h"
#include "playlist/window/PlayListLayout.h"

// The playlist section of a skin as the window applies it, in that order.
// `stage` says how far it was read: the parts after it keep what the window
// had before.
struct TPlWindowSkin {
    enum TStage { psNone, psWindow, psClose, psToolbar, psScrollbar, psList };
    TStage stage = psNone;
    // Anchors of the close button and the toolbar.
    enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

    QRect position;  // only its size counts: the minimum and initial size
    QRect stretch;   // the nine-piece cut of the background
    QImage background;
    QRect closePosition;
    QImage closeImage;  // 4 state cells
    unsigned closeAlign = akRight | akTop;
    QRect toolbarPosition;
    unsigned toolbarAlign = akLeft | akTop;
    QImage toolbarImage;     // 7 cells, one per button tag
    QImage toolbarHotImage;  // null: one state per button
    QImage scrollButtons;    // 3 cells; upper half up, lower half down
    QImage scrollThumb;      // 3 cells
    QImage scrollBar;
    QRect listArea;
    QRgb listColor = 0;
};

// The colours of the grids.
struct TPlColors {
    QRgb text = 0xFFFFFF, hilight = 0x00FF00, bkgnd = 0, bkgnd2 = 0;
    QRgb selected = 0x7F7F7F;  // per channel (text + bkgnd) / 2
};

class TPlButton;
class TPlGrid;
class TPlScrollBar;
class TPlGrip;

class TFPlayList : public QWidget {
  public:
    TFPlayList(TPlayListModel& model, QWidget* parent = nullptr);
    ~TFPlayList() override;

    // Applies the parts of `skin` that were read; with the whole section
    // read it lays the window out at its minimum size and places it above
    // the mini window. Colours: null keeps the previous ones.
    void ApplyPlaylistSkin(const TPlWindowSkin& skin, const TPlColors* colors);

    // The mini window's rectangle on the screen (placement above it).
    std::function<QRect()> MiniRect;
    // Shows the properties of an item (set by the owner; the default shows
    // TFProperties). Returns true when the item changed.
    std::function<bool(TMediaInf& item)> ShowProperties;
    // Called with the paths dropped onto the item grid (the owner expands
    // folders and adds them); empty: drops are refused.
    std::function<void(const std::vector<std::string>& paths)> OnDropFiles;
    // Extra items of the add menu (the CD tracks item): caption and action,
    // asked each time the menu opens.
    std::function<std::vector<std::pair<QString, std::function<void()>>>()> ExtraAddItems;

    // The item grid's selected row; -1 when the displayed list is empty.
    int ItemRow() const;
    void SelectItemRow(int row);
    // Refills both grids from the model and lays the window out.
    void Refresh();

    // ---- what tests and benchmarks inspect ----
    const plw::TLayout& CurrentLayout() const { return m_layout; }
    QSize MinimumSize() const { return m_minimum; }
    TPlGrid& Lists() const { return *m_lists; }
    TPlGrid& List() const { return *m_list; }
    TPlScrollBar& ListBar() const { return *m_listBar; }
    TPlScrollBar& ListsBar() const { return *m_listsBar; }
    TPlGrip& GripBottomRight() const { return *m_dragrb; }
    TPlGrip& GripTopLeft() const { return *m_draglt; }
    QWidget& Splitter() const { return *m_split; }
    // The toolbar's menus by button tag (0 add, 1 delete, 2 list, 3 sort,
    // 6 mode) and the two context menus.
    QMenu& ToolbarMenu(int tag);
    QMenu& ItemMenu() { return m_pmListBox; }
    QMenu& GroupMenu() { return m_pmGroup; }
    TPlButton* ToolbarButton(int tag) const { return m_tools[std::size_t(tag)]; }
    TPlButton& CloseButton() const { return *m_btnClose; }
    const QImage& Background() const { return m_painted; }
    const TPlColors& Colors() const { return m_colors; }
    // The hint the item grid shows for the row under the pointer.
    QString ItemHint() const;
    // The splitter's drag by dx pixels.
    void MoveSplitter(int dx);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildMenus();
    void placeToolbar();
    void placeClose();
    void paintBackground();
    // Background, shape, close button, toolbar and grids for the current size.
    void relayout();
    void layoutControls();
    void modelChanged(TPlayListChange what);
    void ListsSelectCell(std::size_t row);
    void ListSelectCell(std::size_t row);
    void popupToolbar(int tag, QPoint globalPos);
    void FilePropertis1Click();
    void playSelected();
    void followSelection(TPlGrid& grid, TPlScrollBar& bar, int step);

    TPlayListModel& m_model;
    TPlWindowSkin m_skin;  // the parts applied so far
    TPlColors m_colors;
    QSize m_minimum{420, 199};
    int m_splitX = 0;
    plw::TLayout m_layout;
    QImage m_painted;  // the background sized to the window
    bool m_skinned = false;

    TPlGrid* m_lists;
    TPlGrid* m_list;
    TPlScrollBar* m_listsBar;
    TPlScrollBar* m_listBar;
    QWidget* m_split;
    TPlButton* m_btnClose;
    std::vector<TPlButton*> m_tools;  // by tag, 0..6
    TPlGrip* m_dragrb;
    TPlGrip* m_draglt;

    QMenu m_pmAdd, m_pmDel, m_pmList, m_pmSort, m_pmFind, m_pmEdit, m_pmMode, m_pmListBox, m_pmGroup;
    QAction* m_loop = nullptr;
    std::vector<QAction*> m_modes;

    // Dragging the window by its background.
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_windowStart;
    std::optional<int> m_splitDrag;  // the pointer's last x while the splitter is dragged
};

// A skinned image control: one cell of a strip of state cells (normal, hot,
// pressed, ...), the magenta pixels left out.
class TPlButton : public QWidget {
  public:
    explicit TPlButton(QWidget* parent);
    // `cells` cells side by side; `states` of them are this control's states.
    void SetStrip(const QImage& strip, int cells, int firstCell, int states);
    std::function<void(QPoint globalPos)> OnPress;
    std::function<void()> OnClick;
    int ShownCell() const { return m_shown; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void show(int state);
    QImage m_strip;
    int m_cellWidth = 0, m_first = 0, m_states = 1, m_shown = 0;
};

// A grid of rows 16 pixels high that draws only the rows in view. Its
// contents come from the owner's callbacks.
class TPlGrid : public QWidget {
  public:
    TPlGrid(QWidget* parent, int columns);
    std::function<std::size_t()> RowCount;
    // The text of a cell; rows beyond the data are not asked.
    std::function<QString(std::size_t row, int column)> CellText;
    // True when the row's text is drawn in the highlight colour.
    std::function<bool(std::size_t row)> Highlighted;
    std::function<void(std::size_t row)> OnSelect;
    std::function<void(std::size_t row)> OnDblClick;
    std::function<void(QPoint globalPos)> OnContext;
    std::function<void(std::size_t row, QPoint globalPos)> OnHoverRow;
    std::function<void()> OnDelete;
    std::function<void(int step)> OnWheel;
    std::function<void(const std::vector<std::string>& paths)> OnDrop;

    void SetColors(const TPlColors* colors) { m_colors = colors; }
    // The colour below the last row, and the rows the grid has at least.
    void SetBase(QRgb color) { m_base = color; }
    void SetMinRows(std::size_t rows) { m_minRows = rows; }
    std::size_t Top() const { return m_top; }
    void SetTop(std::size_t top);
    std::size_t Selected() const { return m_selected; }
    // Selects without calling OnSelect, scrolling to keep it in view.
    void SetSelected(std::size_t row);
    int VisibleRows() const { return height() / plw::kRowHeight; }
    // The row under a point of the grid, or the row count when none.
    std::size_t RowAt(QPoint pos) const;
    // Rows painted by the last paint (the visible ones only).
    std::size_t PaintedRows() const { return m_painted; }
    std::size_t HoverRow() const { return m_hover; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void choose(std::size_t row);
    int m_columns;
    const TPlColors* m_colors = nullptr;
    std::size_t m_top = 0, m_selected = 0, m_painted = 0;
    std::size_t m_hover = std::size_t(-1);
    QRgb m_base = 0;
    std::size_t m_minRows = 0;
};

// A grid's scroll bar: up and down buttons that repeat while held, the track
// and a thumb that can be dragged.
class TPlScrollBar : public QWidget {
  public:
    explicit TPlScrollBar(QWidget* parent);
    void SetImages(const QImage& buttons, const QImage& thumb, const QImage& bar);
    // Places the bar at `rects` (window coordinates) and the thumb for row
    // `selected` of `rows`.
    void Place(const plw::TScrollBarRects& rects, std::size_t selected, std::size_t rows);
    void PlaceThumb(std::size_t selected, std::size_t rows);
    std::function<void(int step)> OnStep;             // -1 up, +1 down
    std::function<void(std::size_t row)> OnThumbRow;  // first visible row while dragging
    int ThumbTop() const { return m_thumbTop; }
    int ThumbHeight() const { return m_thumbSize.height(); }
    QTimer& Timer1() { return m_timer; }
    // The rectangles in window coordinates.
    const plw::TScrollBarRects& Rects() const { return m_rects; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void tick();
    QRect local(const QRect& r) const { return r.translated(-pos()); }
    QImage m_buttons, m_thumb, m_bar;
    QSize m_thumbSize;
    plw::TScrollBarRects m_rects;
    int m_thumbTop = 0;
    std::size_t m_rows = 0;
    int m_held = 0;  // the held button's step, 0 for none
    bool m_dragThumb = false;
    int m_grab = 0;
    QTimer m_timer;
};

// A transparent resize grip at a corner of the window.
class TPlGrip : public QWidget {
  public:
    TPlGrip(QWidget* window, bool bottomRight);
    std::function<QSize()> Minimum;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    bool m_bottomRight;
    QPoint m_press;
    QRect m_start;
};
