// The playlist window on Qt's offscreen platform: its size and placement in
// the built-in skin, grids and scroll bars, held buttons, the marks of the
// playing list, the window's shape, the keyboard and the properties dialog.
#include <gtest/gtest.h>

#include <QBitmap>
#include <QTest>
#include <QWheelEvent>

#include "playlist/window/UGroupList.h"
#include "playlist/window/UProperties.h"
#include "tests/playlist-window/WindowTest.h"

namespace {

QPoint centre(const QRect& r) {
    return r.center();
}

}  // namespace

TEST_F(WindowTest, DefaultSkinSizeAndPlacement) {
    EXPECT_EQ(window.size(), QSize(420, 199));
    EXPECT_EQ(window.MinimumSize(), QSize(420, 199));
    EXPECT_EQ(window.pos(), QPoint(1300 - 420, 700 - 199));  // right-aligned, directly above
    EXPECT_EQ(window.windowRole(), QStringLiteral("playlist"));
    // Dragging the bottom-right grip inwards, and the top-left one past the
    // bottom-right corner, leaves the minimum size.
    window.show();
    TPlGrip& rb = window.GripBottomRight();
    QTest::mousePress(&rb, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&rb, QPoint(-300, -300));
    QMouseEvent move(QEvent::MouseMove, QPointF(-300, -300), rb.mapToGlobal(QPointF(-300, -300)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&rb, &move);
    EXPECT_EQ(window.size(), QSize(420, 199));
    const QRect before = window.geometry();
    TPlGrip& lt = window.GripTopLeft();
    QTest::mousePress(&lt, Qt::LeftButton, {}, QPoint(2, 2));
    QMouseEvent far(QEvent::MouseMove, QPointF(900, 900), lt.mapToGlobal(QPointF(900, 900)), Qt::NoButton,
                    Qt::LeftButton, {});
    QApplication::sendEvent(&lt, &far);
    EXPECT_EQ(window.size(), QSize(420, 199));
    EXPECT_EQ(window.geometry().bottomRight(), before.bottomRight());
    // Growing by the grip lays the grids out again.
    QTest::mousePress(&rb, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent grow(QEvent::MouseMove, QPointF(85, 37), rb.mapToGlobal(QPointF(85, 37)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(&rb, &grow);
    EXPECT_EQ(window.size(), QSize(500, 231));
    EXPECT_EQ(window.CurrentLayout().visibleRows, 11);
    EXPECT_EQ(window.Background().size(), QSize(500, 231));
}

TEST_F(WindowTest, ItemScrollBarOnlyWhenRowsDoNotFit) {
    fill(5);
    EXPECT_EQ(window.CurrentLayout().visibleRows, 9);
    EXPECT_FALSE(window.ListBar().isVisibleTo(&window));
    const int fullWidth = window.List().width();
    fill(10);
    EXPECT_TRUE(window.ListBar().isVisibleTo(&window));
    EXPECT_EQ(window.List().width(), fullWidth - window.ListBar().width());
    // An empty list still shows one (empty) row.
    setLists({{"empty", {}}});
    model.ListsSelectCell(1);
    EXPECT_EQ(window.ItemRow(), -1);
    EXPECT_FALSE(window.ListBar().isVisibleTo(&window));
}

TEST_F(WindowTest, HeldDownButtonRepeatsAfterHalfASecondThenEveryTenth) {
    fill(30);
    window.show();
    TPlScrollBar& bar = window.ListBar();
    ASSERT_TRUE(bar.isVisible());
    const int thumbBefore = bar.ThumbTop();
    const QPoint down = centre(bar.Rects().down) - bar.pos();
    QElapsedTimer held;
    held.start();
    QTest::mousePress(&bar, Qt::LeftButton, {}, down);
    EXPECT_EQ(window.ItemRow(), 1);  // at once
    EXPECT_GT(bar.ThumbTop(), thumbBefore);
    EXPECT_TRUE(bar.Timer1().isActive());
    EXPECT_EQ(bar.Timer1().interval(), 500);
    ASSERT_TRUE(WaitFor([&] { return window.ItemRow() == 2; }));
    EXPECT_GE(held.elapsed(), 450);
    EXPECT_EQ(bar.Timer1().interval(), 100);
    const qint64 second = held.elapsed();
    ASSERT_TRUE(WaitFor([&] { return window.ItemRow() == 3; }));
    EXPECT_GE(held.elapsed() - second, 80);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, down);
    EXPECT_FALSE(bar.Timer1().isActive());
    EXPECT_EQ(bar.Timer1().interval(), 500);
    const int row = window.ItemRow();
    QTest::qWait(250);
    EXPECT_EQ(window.ItemRow(), row);
    // The up button moves back one row; never above the first.
    const QPoint up = centre(bar.Rects().up) - bar.pos();
    QTest::mousePress(&bar, Qt::LeftButton, {}, up);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, up);
    EXPECT_EQ(window.ItemRow(), row - 1);
}

TEST_F(WindowTest, PlayingListAndCurrentItemMarks) {
    engine.add("/a/1.mp3");
    engine.add("/a/2.mp3");
    setLists({{"one", {"/a/1.mp3", "/a/2.mp3"}}, {"two", {"/b/1.mp3"}}});
    model.ListsSelectCell(1);
    window.SelectItemRow(1);
    ASSERT_TRUE(model.ListDblClick(window.ItemRow()));
    EXPECT_TRUE(window.Lists().Highlighted(1));
    EXPECT_TRUE(window.List().Highlighted(1));
    EXPECT_FALSE(window.List().Highlighted(0));
    model.ListsSelectCell(2);  // another list displayed
    EXPECT_TRUE(window.Lists().Highlighted(1));
    EXPECT_FALSE(window.Lists().Highlighted(2));
    EXPECT_FALSE(window.List().Highlighted(1));
    EXPECT_FALSE(window.List().Highlighted(0));
}

TEST_F(WindowTest, DurationColumnShowsTotalMinutes) {
    setLists({{"long", {"/x.mp3"}}});
    model.ListsSelectCell(1);
    model.DisplayedItem(0).StreamInfo.Duration = 65 * 60'000;
    EXPECT_EQ(window.List().CellText(0, 1), QStringLiteral("65:00"));
    EXPECT_EQ(window.List().CellText(0, 0), QStringLiteral("/x.mp3"));
}

TEST_F(WindowTest, MagentaBorderIsCutFromTheShape) {
    TPlWindowSkin skin = BuiltinWindowSkin();
    QImage bitmap(60, 40, QImage::Format_RGB32);
    bitmap.fill(qRgb(255, 0, 255));
    for (int y = 2; y < 38; ++y)
        for (int x = 2; x < 58; ++x) bitmap.setPixel(x, y, qRgb(10, 20, 30));
    skin.background = bitmap;
    skin.stretch = QRect(20, 20, 1, 1);
    skin.position = QRect(0, 0, 200, 100);
    skin.listArea = QRect(3, 3, 50, 30);
    window.ApplyPlaylistSkin(skin, nullptr);
    ASSERT_EQ(window.size(), QSize(200, 100));
    const QRegion shape = window.mask();
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(199, 99)));
    EXPECT_FALSE(shape.contains(QPoint(100, 1)));
    EXPECT_TRUE(shape.contains(QPoint(2, 2)));
    EXPECT_TRUE(shape.contains(QPoint(100, 50)));
    EXPECT_TRUE(shape.contains(QPoint(197, 97)));
}

TEST_F(WindowTest, BrokenSkinPartsKeepWhatWasApplied) {
    // Only the window part read: the size changes, the layout stays.
    const plw::TLayout before = window.CurrentLayout();
    TPlWindowSkin skin = BuiltinWindowSkin();
    skin.stage = TPlWindowSkin::psNone;
    window.ApplyPlaylistSkin(skin, nullptr);
    EXPECT_EQ(window.size(), QSize(420, 199));
    skin = BuiltinWindowSkin();
    skin.position = QRect(0, 0, 0, 0);  // a position of zero size
    window.ApplyPlaylistSkin(skin, nullptr);
    EXPECT_GE(window.width(), 1);
    EXPECT_GE(window.CurrentLayout().list.width(), 0);
    EXPECT_GE(window.CurrentLayout().lists.height(), 0);
    EXPECT_EQ(before.visibleRows, 9);
}

TEST_F(WindowTest, WheelScrollsOnlyAGridWithAScrollBar) {
    fill(30);
    window.show();
    auto wheel = [&](int delta) {
        QWheelEvent e(QPointF(5, 5), window.List().mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&window.List(), &e);
    };
    wheel(-120);
    wheel(-120);
    EXPECT_EQ(window.List().Top(), 2u);
    wheel(120);
    EXPECT_EQ(window.List().Top(), 1u);
    EXPECT_EQ(window.ItemRow(), 0);  // the selection stays
    fill(3);
    wheel(-120);
    EXPECT_EQ(window.List().Top(), 0u);
}

TEST_F(WindowTest, KeyboardMovesDeletesAndPlays) {
    fill(12);
    window.show();
    TPlGrid& grid = window.List();
    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(window.ItemRow(), 2);
    QTest::keyClick(&grid, Qt::Key_End);
    EXPECT_EQ(window.ItemRow(), 11);
    EXPECT_EQ(grid.Top(), 11u - 9 + 1);
    QTest::keyClick(&grid, Qt::Key_Home);
    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClick(&grid, Qt::Key_Delete);
    EXPECT_EQ(model.Displayed().Items.size(), 11u);
    EXPECT_EQ(model.Displayed().Items[1].StreamInfo.FileName, "/m/00002.mp3");
    QTest::keyClick(&grid, Qt::Key_Return);
    ASSERT_FALSE(engine.calls.empty());
    EXPECT_EQ(engine.calls.back(), "Play");
    EXPECT_EQ(model.CurrentIndex(), 1);
}

TEST_F(WindowTest, GridsPaintOnlyTheRowsInView) {
    fill(100000);
    window.show();
    window.List().grab();
    EXPECT_LE(window.List().PaintedRows(), std::size_t(window.CurrentLayout().visibleRows + 1));
    window.List().SetTop(99990);
    window.List().grab();
    EXPECT_EQ(window.List().PaintedRows(), 10u);
    // Dragging the thumb to the track's end shows the last rows.
    TPlScrollBar& bar = window.ListBar();
    const QPoint thumb(bar.width() / 2, bar.ThumbTop() - bar.y() + 1);
    QTest::mousePress(&bar, Qt::LeftButton, {}, thumb);
    QMouseEvent drag(QEvent::MouseMove, QPointF(thumb.x(), 5000), bar.mapToGlobal(QPointF(thumb.x(), 5000)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&bar, &drag);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, thumb);
    EXPECT_EQ(window.List().Top(), 99999u);
    EXPECT_EQ(window.ItemRow(), 0);
}

TEST_F(WindowTest, SplitterKeepsBothGridsWide) {
    window.MoveSplitter(-1000);
    EXPECT_GE(window.Lists().width(), plw::kMinGridWidth);
    window.MoveSplitter(2000);
    EXPECT_GE(window.List().width() + (window.ListBar().isVisibleTo(&window) ? window.ListBar().width() : 0),
              plw::kMinGridWidth);
    EXPECT_GT(window.Lists().width(), 200);
}

TEST_F(WindowTest, MenusReachTheModel) {
    fill(3, "first");
    dialogs.inputs.push_back(std::string("renamed"));
    window.ToolbarMenu(2).actions()[1]->trigger();  // rename list
    EXPECT_EQ(model.ListName(1), "renamed");
    window.SelectItemRow(2);
    window.ToolbarMenu(1).actions()[0]->trigger();  // delete selected
    EXPECT_EQ(model.Displayed().Items.size(), 2u);
    window.ToolbarMenu(3).actions()[0]->trigger();  // by title
    EXPECT_EQ(model.SortKey(), TSortKey::Title);
    QMenu& mode = window.ToolbarMenu(6);
    EXPECT_TRUE(mode.actions()[0]->isChecked());
    EXPECT_EQ(mode.actions()[4]->isChecked(), model.Loop());
    mode.actions()[4]->trigger();
    EXPECT_TRUE(model.Loop());
    EXPECT_TRUE(mode.actions()[4]->isChecked());
    mode.actions()[1]->trigger();
    EXPECT_EQ(model.PlayMode(), TPlayMode::Random);
    QStringList captions;
    for (QAction* a : window.ItemMenu().actions())
        if (!a->isSeparator()) captions << a->text();
    EXPECT_EQ(captions.size(), 10);
    EXPECT_EQ(captions.front(), QString::fromUtf8("播放"));
    EXPECT_EQ(captions.back(), QString::fromUtf8("歌曲文件属性..."));
    EXPECT_FALSE(window.ToolbarButton(4)->isVisibleTo(&window));
    EXPECT_FALSE(window.ToolbarButton(5)->isVisibleTo(&window));
}

TEST_F(WindowTest, AddMenuOffersExtraItemsWhileTheyExist) {
    QMenu& add = window.ToolbarMenu(0);
    std::vector<std::string> tracks;
    int ran = 0;
    window.ExtraAddItems = [&] {
        std::vector<std::pair<QString, std::function<void()>>> items;
        if (!tracks.empty()) items.emplace_back(QString::fromUtf8("添加CD音轨"), [&] { ++ran; });
        return items;
    };
    emit add.aboutToShow();
    EXPECT_EQ(add.actions().size(), 2);
    tracks = {"D:/Track01.cda"};
    emit add.aboutToShow();
    emit add.aboutToShow();  // opened twice: still one extra item
    ASSERT_EQ(add.actions().size(), 3);
    EXPECT_EQ(add.actions()[2]->text(), QString::fromUtf8("添加CD音轨"));
    add.actions()[2]->trigger();
    EXPECT_EQ(ran, 1);
    tracks.clear();
    emit add.aboutToShow();
    EXPECT_EQ(add.actions().size(), 2);
}

// ---- the properties dialog ----

TEST_F(WindowTest, PropertiesShowEveryField) {
    TMediaInf item;
    TStreamInfo& s = item.StreamInfo;
    s = TStreamInfo("/music/a.mp3");
    s.Title = "Song";
    s.Artist = "Band";
    s.Album = "Disc";
    s.Track = 7;
    s.Genre = "Rock";
    s.Year = "1999";
    s.Comment = "one\ntwo";
    s.Duration = (61 * 60 + 5) * 1000;
    s.BitRate = 192;
    s.SampleRate = 44100;
    s.FileSize = 3'690'000;
    s.BitsPerSample = 16;
    TFProperties dialog;
    dialog.FillMediaInf(item);
    EXPECT_EQ(dialog.windowRole(), QStringLiteral("properties"));
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("文件属性"));
    EXPECT_EQ(dialog.edtFileName->text(), QStringLiteral("/music/a.mp3"));
    EXPECT_TRUE(dialog.edtFileName->isReadOnly());
    EXPECT_FALSE(dialog.edtTitle->isReadOnly());
    EXPECT_EQ(dialog.edtTrack->text(), QStringLiteral("7"));
    EXPECT_EQ(dialog.lblDuration->text(), QStringLiteral("61:05"));
    EXPECT_EQ(dialog.lblBitrate->text(), QStringLiteral("192 Kbps"));
    EXPECT_EQ(dialog.lblsamplerate->text(), QStringLiteral("44100 Hz"));
    EXPECT_EQ(dialog.lblFilesize->text(), QStringLiteral("3.52M (3,690,000 Bytes)"));
    EXPECT_EQ(dialog.lblbps->text(), QStringLiteral("16 Bits"));
    EXPECT_EQ(dialog.mComment->toPlainText(), QStringLiteral("one\ntwo"));
}

TEST_F(WindowTest, PropertiesCloseStoresOnlyRealEdits) {
    const struct {
        std::string stored;
        const char* edit;  // null: no edit
        std::string expected;
        bool changed;
    } cases[] = {
        {"one\ntwo", nullptr, "one\ntwo", false},      // LF kept as stored
        {"one\r\ntwo", nullptr, "one\r\ntwo", false},  // CR LF kept
        {"", nullptr, "", false},                      // empty
        {"one\ntwo", "one\ntwo\nthree", "one\r\ntwo\r\nthree", true},
        {"x", "", "", true},
    };
    for (const auto& c : cases) {
        TMediaInf item;
        item.StreamInfo.Comment = c.stored;
        TFProperties dialog;
        dialog.FillMediaInf(item);
        if (c.edit) dialog.mComment->setPlainText(QString::fromUtf8(c.edit));
        dialog.btnClose->click();
        EXPECT_EQ(item.StreamInfo.Comment, c.expected) << c.stored;
        EXPECT_EQ(dialog.Changed(), c.changed) << c.stored;
    }
    // The artist is shown but not kept; the window's close box discards.
    TMediaInf item;
    item.StreamInfo.Artist = "A";
    item.StreamInfo.Title = "T";
    TFProperties dialog;
    dialog.FillMediaInf(item);
    dialog.edtArtist->setText("B");
    dialog.edtTitle->setText("U");
    dialog.reject();
    EXPECT_EQ(item.StreamInfo.Title, "T");
    dialog.btnCloseClick();
    EXPECT_EQ(item.StreamInfo.Artist, "A");
    EXPECT_EQ(item.StreamInfo.Title, "U");
}

TEST_F(WindowTest, ChangedTitleReachesHintSortingAndFile) {
    engine.add("/m/a.mp3", "Alpha");
    engine.add("/m/b.mp3", "Beta");
    setLists({{"songs", {"/m/a.mp3", "/m/b.mp3"}}});
    model.ListsSelectCell(1);
    model.DisplayedItem(0).StreamInfo.Title = "Alpha";
    model.DisplayedItem(1).StreamInfo.Title = "Beta";
    window.show();
    bool modifiedBefore = model.Modified();
    EXPECT_FALSE(modifiedBefore);
    window.ShowProperties = [](TMediaInf& item) {
        TFProperties dialog;
        dialog.FillMediaInf(item);
        dialog.edtTitle->setText("Zulu");
        dialog.btnCloseClick();
        return dialog.Changed();
    };
    window.SelectItemRow(0);
    window.ItemMenu().actions().back()->trigger();
    EXPECT_TRUE(model.Modified());
    QMouseEvent over(QEvent::MouseMove, QPointF(20, 4), window.List().mapToGlobal(QPointF(20, 4)),
                     Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&window.List(), &over);
    EXPECT_EQ(window.ItemHint(), QStringLiteral("Zulu"));
    model.SortbyTitle1Click();
    EXPECT_EQ(model.Displayed().Items[1].StreamInfo.FileName, "/m/a.mp3");
    EXPECT_NE(model.PlaylistsText().find("title=\"Zulu\""), std::string::npos);
}

TEST(GroupList, PickerListsTheNamesWithItsButtons) {
    TFGroupList picker({"one", "two", ""});
    EXPECT_EQ(picker.windowTitle(), QString::fromUtf8("选择目标列表"));
    EXPECT_EQ(picker.btnOk->text(), QString::fromUtf8("确认"));
    EXPECT_EQ(picker.btnCancel->text(), QString::fromUtf8("取消"));
    ASSERT_EQ(picker.lstGroup->count(), 3);
    EXPECT_EQ(picker.Selected(), 0);
    picker.lstGroup->setCurrentRow(2);
    EXPECT_EQ(picker.Selected(), 2);
    picker.lstGroup->clearSelection();
    EXPECT_EQ(picker.Selected(), -1);
}
