// The playlist commands and the play order.
#include <set>

#include "tests/playlist/PlayListDoubles.h"

using Names = std::vector<std::string>;

TEST_F(PlayListTest, AddingFilesSortsTheListAndReportsTheNewRows) {
    setLists({{"L", {"b.mp3", "d.mp3"}}});
    model.ListsSelectCell(1);
    engine.add("c.mp3");
    engine.add("a.mp3");
    dialogs.files = Names{"c.mp3", "broken.mp3", "a.mp3", "c.mp3"};

    const std::vector<std::size_t> rows = model.AddFilesToList();
    EXPECT_EQ(dialogs.filters, Names{"BASS native files (*.mp3;*.ogg;)|*.mp3;*.ogg;|"});
    EXPECT_EQ(fileNames(1), (Names{"a.mp3", "b.mp3", "c.mp3", "c.mp3", "d.mp3"}));
    ASSERT_EQ(rows.size(), 3u);  // the undescribable file is dropped
    EXPECT_EQ(model.List(1).Items[rows[0]].StreamInfo.FileName, "c.mp3");
    EXPECT_EQ(model.List(1).Items[rows[1]].StreamInfo.FileName, "a.mp3");
    EXPECT_EQ(model.List(1).Items[rows[2]].StreamInfo.FileName, "c.mp3");
    EXPECT_NE(rows[0], rows[2]);
    // Open indices are the positions the entries were appended at.
    EXPECT_EQ(model.List(1).Items[rows[0]].OpenIndex, 2);
    EXPECT_EQ(model.List(1).Items[rows[1]].OpenIndex, 3);
    EXPECT_EQ(model.List(1).Items[rows[2]].OpenIndex, 4);
    EXPECT_FALSE(model.Modified());  // AddFilesToList itself does not mark

    // The same file twice: two entries, deleted independently.
    model.DeleteSelected1Click(static_cast<int>(rows[0]));
    EXPECT_EQ(fileNames(1), (Names{"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    EXPECT_TRUE(model.Modified());

    dialogs.files.reset();  // cancelled
    EXPECT_TRUE(model.AddFilesToList().empty());
    EXPECT_EQ(model.List(1).Items.size(), 4u);

    engine.ready = false;
    EXPECT_TRUE(model.AddFilesToList().empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Cannot open file (VaviVerovu is not ready)");
    EXPECT_EQ(dialogs.messages[0].caption, "Confirm");
    EXPECT_EQ(dialogs.filters.size(), 2u);  // no dialog shown when not ready
}

TEST_F(PlayListTest, SortingUsesGbkOrderIsStableAndKeepsTheCurrentEntry) {
    setLists({{"L", {"1", "2", "3", "4", "5", "6"}}});
    model.ListsSelectCell(1);
    // Titles: UTF-8 byte order would put 不 < 吃 < 啊; GBK puts 啊 < 不 < 吃.
    const char* titles[] = {"吃", "b", "啊", "B", "不", "a"};
    for (std::size_t i = 0; i < 6; ++i) model.DisplayedItem(i).StreamInfo.Title = titles[i];
    engine.add("3");
    ASSERT_TRUE(model.ListDblClick(2));  // "啊" is playing
    model.SortbyTitle1Click();
    // a-z fold to upper case, so "b" and "B" are equal and keep their order.
    EXPECT_EQ(fileNames(1), (Names{"6", "2", "4", "3", "5", "1"}));
    EXPECT_EQ(model.CurrentIndex(), 3);
    EXPECT_EQ(model.SortKey(), TSortKey::Title);

    // Adding keeps the list sorted by the current key.
    engine.add("x.mp3", "啊啊");
    dialogs.files = Names{"x.mp3"};
    EXPECT_EQ(model.AddFilesToList(), (std::vector<std::size_t>{4}));
    EXPECT_EQ(model.CurrentIndex(), 3);

    model.SortbyArtist1Click();  // all artists empty: nothing moves
    EXPECT_EQ(fileNames(1), (Names{"6", "2", "4", "3", "x.mp3", "5", "1"}));
    model.SortbyFileName1Click();
    EXPECT_EQ(fileNames(1), (Names{"1", "2", "3", "4", "5", "6", "x.mp3"}));
    EXPECT_EQ(model.CurrentIndex(), 2);
}

TEST_F(PlayListTest, AddingAUrlAppendsWhatTheEngineOpened) {
    setLists({{"L", {"z.mp3"}}});
    model.ListsSelectCell(1);
    dialogs.inputs = {std::nullopt, "", "http://bad", "http://radio"};
    engine.add("http://radio", "Radio");
    EXPECT_FALSE(model.AddURL1Click());  // cancelled
    EXPECT_FALSE(model.AddURL1Click());  // empty
    EXPECT_FALSE(model.AddURL1Click());  // cannot open
    EXPECT_FALSE(model.Modified());
    EXPECT_TRUE(model.AddURL1Click());
    EXPECT_EQ(dialogs.inputsAsked[0].caption, "输入URL地址");
    EXPECT_EQ(dialogs.inputsAsked[0].prompt, "URL:");
    EXPECT_EQ(dialogs.inputsAsked[0].initial, "");
    EXPECT_EQ(fileNames(1), (Names{"z.mp3", "http://radio"}));  // not sorted
    EXPECT_EQ(model.List(1).Items[1].StreamInfo.Title, "Radio");
    EXPECT_EQ(model.List(1).Items[1].OpenIndex, 1);
    EXPECT_TRUE(model.Modified());
}

TEST_F(PlayListTest, NextAndPreviousInOrderWrapAround) {
    EXPECT_EQ(model.NextTrack(), "");  // empty list: nothing changes
    EXPECT_EQ(model.PrevTrack(), "");
    EXPECT_EQ(model.CurrentIndex(), -1);

    setLists({{"L", {"a", "b"}}});
    model.ListsSelectCell(1);
    model.MakeDisplayedListPlaying();
    EXPECT_EQ(model.PrevTrack(), "b");  // no current entry: the last
    EXPECT_EQ(model.NextTrack(), "a");  // from the second: the first
    EXPECT_EQ(model.CurrentIndex(), 0);
    EXPECT_EQ(model.PrevTrack(), "b");  // from the first: the last
    EXPECT_EQ(model.CurrentIndex(), 1);

    model.MakeDisplayedListPlaying();  // the same list: the current entry stays
    EXPECT_EQ(model.CurrentIndex(), 1);
    model.SelectTemporaryList();
    model.MakeDisplayedListPlaying();
    EXPECT_EQ(model.PlayingRow(), 0u);
    EXPECT_EQ(model.CurrentIndex(), -1);
}

TEST_F(PlayListTest, CurrentSongOnlyRepeatsOnlyWhenLooping) {
    setLists({{"L", {"a", "b", "c"}}});
    model.ListsSelectCell(1);
    model.MakeDisplayedListPlaying();
    model.OrderPlay1Click(TPlayMode::CurrentOnly);
    EXPECT_FALSE(model.Loop());  // the loop flag starts off

    // Looping with nothing current never indexes -1.
    model.PlayOneRecycle1Click();
    EXPECT_TRUE(model.Loop());
    EXPECT_EQ(model.NextTrack(), "a");
    EXPECT_EQ(model.NextTrack(), "a");
    model.OrderPlay1Click(TPlayMode::InOrder);
    model.NextTrack();
    model.OrderPlay1Click(TPlayMode::CurrentOnly);
    EXPECT_EQ(model.NextTrack(), "b");
    EXPECT_EQ(model.PrevTrack(), "b");

    model.PlayOneRecycle1Click();
    EXPECT_FALSE(model.Loop());
    EXPECT_EQ(model.NextTrack(), "");
    EXPECT_EQ(model.CurrentIndex(), -1);
    EXPECT_EQ(model.PrevTrack(), "");
    EXPECT_EQ(model.CurrentIndex(), -1);
    model.PlayOneRecycle1Click();
    EXPECT_EQ(model.PrevTrack(), "c");
}

TEST_F(PlayListTest, RandomModeReachesEveryEntryAndNoOther) {
    setLists({{"L", {"a", "b", "c", "d"}}});
    model.ListsSelectCell(1);
    model.MakeDisplayedListPlaying();
    model.OrderPlay1Click(TPlayMode::Random);
    model.SeedRandom(7);
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string name = i % 2 ? model.NextTrack() : model.PrevTrack();
        ASSERT_GE(model.CurrentIndex(), 0);
        ASSERT_LT(model.CurrentIndex(), 4);
        EXPECT_EQ(name, model.PlayingFileName(static_cast<std::size_t>(model.CurrentIndex())));
        seen.insert(name);
    }
    EXPECT_EQ(seen, (std::set<std::string>{"a", "b", "c", "d"}));
}

TEST_F(PlayListTest, DeletingAroundTheCurrentEntry) {
    setLists({{"L", {"a", "b", "c", "d"}}, {"M", {"x", "y"}}});
    engine.add("c");
    model.ListsSelectCell(1);
    ASSERT_TRUE(model.ListDblClick(2));

    model.DeleteSelected1Click(3);  // below the current entry
    EXPECT_EQ(model.CurrentIndex(), 2);
    model.DeleteSelected1Click(0);  // above: the index follows
    EXPECT_EQ(model.CurrentIndex(), 1);
    EXPECT_EQ(model.PlayingFileName(1), "c");
    model.DeleteSelected1Click(-1);  // nothing selected
    model.DeleteSelected1Click(7);   // beyond the list
    EXPECT_EQ(fileNames(1), (Names{"b", "c"}));

    model.ListsSelectCell(2);
    model.DeleteSelected1Click(0);  // another list than the playing one
    EXPECT_EQ(model.CurrentIndex(), 1);

    model.ListsSelectCell(1);
    model.DeleteSelected1Click(1);  // the current entry itself
    EXPECT_EQ(model.CurrentIndex(), -1);
    EXPECT_EQ(fileNames(1), (Names{"b"}));
}

TEST_F(PlayListTest, NewListProposesTheSmallestFreeNumber) {
    setLists({{"新建列表 1", {}}, {"新建列表 3", {}}});
    EXPECT_EQ(model.ProposedListName(), "新建列表 2");
    dialogs.inputs = {std::nullopt, "新建列表 2", "", "新建列表 1"};
    model.NewGroup1Click();  // cancelled
    EXPECT_EQ(model.ListCount(), 3u);
    EXPECT_FALSE(model.Modified());
    model.NewGroup1Click();
    model.NewGroup1Click();  // empty and duplicate names are accepted
    model.NewGroup1Click();
    EXPECT_EQ(dialogs.inputsAsked[0].caption, "输入列表名称");
    EXPECT_EQ(dialogs.inputsAsked[0].prompt, "列表名称:");
    EXPECT_EQ(dialogs.inputsAsked[0].initial, "新建列表 2");
    EXPECT_EQ(dialogs.inputsAsked[2].initial, "新建列表 4");
    EXPECT_EQ(listNames(),
              (Names{"<临时播放列表>", "新建列表 1", "新建列表 3", "新建列表 2", "", "新建列表 1"}));
    EXPECT_EQ(model.DisplayedRow(), 0u);
    EXPECT_TRUE(model.Modified());
}

TEST_F(PlayListTest, SaveListAsMakesAnIndependentCopy) {
    setLists({{"L", {"b", "a"}}});
    model.ListsSelectCell(1);
    model.SortbyFileName1Click();
    dialogs.inputs = {"copy"};
    model.SaveList1Click();
    ASSERT_EQ(model.ListCount(), 3u);
    EXPECT_EQ(model.ListName(2), "copy");
    EXPECT_EQ(model.List(2).Items, model.List(1).Items);  // open indices included
    model.DeleteSelected1Click(0);
    EXPECT_EQ(fileNames(2), (Names{"a", "b"}));
}

TEST_F(PlayListTest, RenameAndClearAskFirst) {
    setLists({{"L", {"a", "b"}}});
    model.ListsSelectCell(1);
    dialogs.inputs = {std::nullopt, "R"};
    model.RenameList1Click();
    EXPECT_EQ(model.ListName(1), "L");
    model.RenameList1Click();
    EXPECT_EQ(model.ListName(1), "R");
    EXPECT_EQ(dialogs.inputsAsked[1].prompt, "列表名称: ");
    EXPECT_EQ(dialogs.inputsAsked[1].initial, "L");

    engine.add("b");
    ASSERT_TRUE(model.ListDblClick(1));
    dialogs.answers = {false, true};
    model.ClearList1Click();
    EXPECT_EQ(model.List(1).Items.size(), 2u);
    model.ClearList1Click();
    EXPECT_EQ(dialogs.questions, (Names{"真的要清空这个列表吗? ", "真的要清空这个列表吗? "}));
    EXPECT_TRUE(model.List(1).Items.empty());
    EXPECT_EQ(model.CurrentIndex(), -1);  // nothing left to be current
}

TEST_F(PlayListTest, DeletingListsKeepsBothMarksOnTheirLists) {
    setLists({{"A", {}}, {"B", {"b1", "b2"}}, {"C", {}}});
    engine.add("b2");
    model.ListsSelectCell(2);
    ASSERT_TRUE(model.ListDblClick(1));
    EXPECT_EQ(model.PlayingRow(), 2u);

    model.SelectTemporaryList();
    model.DeleteList1Click();  // refused silently: no question asked
    EXPECT_TRUE(dialogs.questions.empty());

    model.ListsSelectCell(1);
    dialogs.answers = {false, true, true, true};
    model.DeleteList1Click();
    EXPECT_EQ(model.ListCount(), 4u);
    model.DeleteList1Click();  // "A", above the playing list
    EXPECT_EQ(dialogs.questions.back(), "确实要删除这个列表吗？");
    EXPECT_EQ(listNames(), (Names{"<临时播放列表>", "B", "C"}));
    EXPECT_EQ(model.DisplayedRow(), 1u);  // the same row number
    EXPECT_EQ(model.PlayingRow(), 1u);    // still "B"
    EXPECT_EQ(model.CurrentIndex(), 1);

    model.ListsSelectCell(2);
    model.DeleteList1Click();  // the last list: the one above is selected
    EXPECT_EQ(model.DisplayedRow(), 1u);
    EXPECT_EQ(model.Displayed().Name, "B");

    model.DeleteList1Click();  // the playing list itself
    EXPECT_EQ(listNames(), (Names{"<临时播放列表>"}));
    EXPECT_EQ(model.PlayingRow(), 0u);
    EXPECT_EQ(model.CurrentIndex(), -1);
    EXPECT_EQ(model.NextTrack(), "");
}

TEST_F(PlayListTest, MoveGoesToTheFirstListOfTheChosenName) {
    setLists({{"A", {"a"}}, {"X", {"x1", "x2", "x3"}}, {"A", {}}, {"X", {}}});
    model.ListsSelectCell(2);
    engine.add("x3");
    ASSERT_TRUE(model.ListDblClick(2));

    dialogs.picks = {-1, 2};
    model.MovetoList1Click(0);  // cancelled
    EXPECT_FALSE(model.Modified());
    model.MovetoList1Click(0);  // "A" at row 3 shares its name with row 1
    EXPECT_EQ(dialogs.pickersShown[1], (Names{"<临时播放列表>", "A", "A", "X"}));
    EXPECT_EQ(fileNames(1), (Names{"a", "x1"}));
    EXPECT_TRUE(model.List(3).Items.empty());
    EXPECT_EQ(fileNames(2), (Names{"x2", "x3"}));
    EXPECT_EQ(model.CurrentIndex(), 1);  // follows as deleting does
    EXPECT_TRUE(model.Modified());

    // The displayed list is never its own target, even when an earlier list
    // was named like it: the picker did not offer it.
    dialogs.picks = {3};
    model.MovetoList1Click(1);
    EXPECT_EQ(fileNames(2), (Names{"x2"}));
    EXPECT_EQ(fileNames(4), (Names{"x3"}));
    EXPECT_EQ(model.CurrentIndex(), -1);
}

TEST_F(PlayListTest, CopiesAreIndependentOfTheirOriginal) {
    setLists({{"A", {"a", "b"}}, {"B", {}}});
    model.ListsSelectCell(1);
    dialogs.picks = {1};
    model.CopytoList1Click(1);
    EXPECT_EQ(dialogs.pickersShown[0], (Names{"<临时播放列表>", "B"}));
    ASSERT_EQ(fileNames(2), (Names{"b"}));
    model.DisplayedItem(1).StreamInfo.Title = "changed";
    model.DeleteSelected1Click(1);
    EXPECT_EQ(fileNames(1), (Names{"a"}));
    EXPECT_EQ(model.List(2).Items[0].StreamInfo.Title, "b");
}

TEST_F(PlayListTest, EmptyListOrNoSelectionDoesNothing) {
    setLists({{"A", {"a"}}, {"E", {}}});
    model.ListsSelectCell(2);
    // No picker (the scripted dialogs would fail the test), no player call.
    model.MovetoList1Click(0);
    model.CopytoList1Click(0);
    EXPECT_FALSE(model.ListDblClick(0));
    EXPECT_FALSE(model.Play1Click(0));
    model.ListsSelectCell(1);
    model.MovetoList1Click(-1);
    model.CopytoList1Click(1);
    EXPECT_FALSE(model.ListDblClick(-1));
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_FALSE(model.Modified());
}

TEST_F(PlayListTest, PlayingTheSelectedEntry) {
    setLists({{"A", {"a", "missing"}}});
    engine.add("a");
    engine.length = 3723000;
    std::vector<uint32_t> lengths;
    model.OnPlayLength = [&](uint32_t ms) { lengths.push_back(ms); };
    model.ListsSelectCell(1);

    EXPECT_FALSE(model.ListDblClick(1));
    EXPECT_EQ(engine.calls, (Names{"Stop", "Open missing"}));
    EXPECT_EQ(model.PlayingRow(), 0u);
    EXPECT_EQ(model.CurrentIndex(), -1);

    engine.calls.clear();
    EXPECT_TRUE(model.ListDblClick(0));
    EXPECT_EQ(engine.calls, (Names{"Stop", "Open a", "Play"}));
    EXPECT_EQ(lengths, (std::vector<uint32_t>{3723000}));
    EXPECT_EQ(model.PlayingRow(), 1u);
    EXPECT_EQ(model.CurrentIndex(), 0);
    EXPECT_FALSE(model.Modified());
}

TEST_F(PlayListTest, NamesGivenAreAddedAsFilesAndStreamURLsWithoutMarkingTheSet) {
    setLists({{"L", {"b.mp3"}}});
    model.ListsSelectCell(1);
    engine.add("c.mp3");
    engine.add("a.mp3");
    engine.add("HTTP://radio/live", "Live");
    engine.add("mms://radio/other", "Other");
    engine.add("https://secure/x.mp3");  // not a stream URL: described as a file

    const std::vector<std::size_t> rows =
        model.AddNamesToList({"c.mp3", "missing.mp3", "HTTP://radio/live", "a.mp3", "mms://down/x",
                              "mms://radio/other", "https://secure/x.mp3"});
    // Files are sorted in as the add-files command sorts them; the rows come
    // back in the order of the names, without those that failed.
    ASSERT_EQ(rows.size(), 5u);
    const std::vector<TMediaInf>& items = model.List(1).Items;
    EXPECT_EQ(items[rows[0]].StreamInfo.FileName, "c.mp3");
    EXPECT_EQ(items[rows[1]].StreamInfo.FileName, "HTTP://radio/live");
    EXPECT_EQ(items[rows[1]].StreamInfo.Title, "Live");  // what the engine reports of the open stream
    EXPECT_EQ(items[rows[2]].StreamInfo.FileName, "a.mp3");
    EXPECT_EQ(items[rows[3]].StreamInfo.FileName, "mms://radio/other");
    EXPECT_EQ(items[rows[4]].StreamInfo.FileName, "https://secure/x.mp3");
    EXPECT_EQ(items.size(), 6u);
    // Only the stream URLs were opened, each once, the failing one too.
    EXPECT_EQ(engine.calls, (Names{"Open HTTP://radio/live", "Open mms://down/x", "Open mms://radio/other"}));
    EXPECT_FALSE(model.Modified());
    EXPECT_TRUE(dialogs.messages.empty());

    engine.ready = false;  // no player: nothing added, and no box on top of the start-up's
    EXPECT_TRUE(model.AddNamesToList({"a.mp3"}).empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(model.List(1).Items.size(), 6u);
}
