// The playlist file: what is written, what is read back, and what happens
// with files that are missing, damaged, forged or cannot be written.
#include <signal.h>
#include <sys/resource.h>

#include "playlist/PlayListTexts.h"
#include "tests/common/StreamInfoSamples.h"
#include "tests/playlist/PlayListDoubles.h"

namespace {

TStreamInfo fullInfo(const std::string& name) {
    TStreamInfo s(name);
    s.FileSize = 4294967295u;
    s.SampleRate = 44100;
    s.BitRate = 320;
    s.BitsPerSample = 65535;
    s.Duration = 3900000;
    s.Channels = 2;
    s.Format = 0x10002;
    s.Title = "标题 & <title>";
    s.Artist = "\"Artist\" 'quoted'";
    s.Album = "";
    s.Year = "1999";
    s.Genre = "Rock";
    s.GenreID = 255;
    s.Track = 17;
    s.Comment = "line one\nline two\r\nline\tthree";
    return s;
}

}  // namespace

TEST_F(PlayListTest, FirstStartWithoutFileHasOnlyTheEmptyTemporaryListAndWritesNothing) {
    model.LoadPlaylists();
    ASSERT_EQ(model.ListCount(), 1u);
    EXPECT_EQ(model.ListName(0), "<临时播放列表>");
    EXPECT_TRUE(model.List(0).Items.empty());
    EXPECT_EQ(model.DisplayedRow(), 0u);
    EXPECT_EQ(model.PlayingRow(), 0u);
    EXPECT_EQ(model.CurrentIndex(), -1);
    EXPECT_FALSE(model.Modified());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(model.SaveIfModified());
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(PlayListTest, SavedFileHasTheExactStructure) {
    EXPECT_EQ(model.PlaylistsText(), "<?xml version=\"1.0\"?>\n<playlist count=\"0\" />\n");

    setLists({{"A", {}}, {"", {}}});
    engine.known["x.mp3"] = fullInfo("x.mp3");
    engine.add("y.ogg");
    dialogs.files = std::vector<std::string>{"x.mp3", "y.ogg"};
    model.ListsSelectCell(1);
    model.AddFilesToList();
    model.SelectTemporaryList();
    model.AddFilesToList();  // the temporary list is never written
    ASSERT_TRUE(model.SavePlaylists());

    const std::string expected =
        "<?xml version=\"1.0\"?>\n"
        "<playlist count=\"2\">\n"
        "  <group1 caption=\"A\" count=\"2\">\n"
        "    <item0 filename=\"x.mp3\" filesize=\"4294967295\" samplerate=\"44100\" bitrate=\"320\" "
        "bitspersample=\"65535\" duration=\"3900000\" title=\"标题 &amp; &lt;title>\" "
        "artist=\"&quot;Artist&quot; 'quoted'\" album=\"\" year=\"1999\" genre=\"Rock\" track=\"17\" "
        "comment=\"line one&#10;line two&#13;&#10;line&#09;three\" channels=\"2\" format=\"65538\" "
        "genreid=\"255\" />\n"
        "    <item1 filename=\"y.ogg\" filesize=\"0\" samplerate=\"0\" bitrate=\"0\" bitspersample=\"16\" "
        "duration=\"1000\" title=\"\" artist=\"\" album=\"\" year=\"\" genre=\"\" track=\"0\" comment=\"\" "
        "channels=\"0\" format=\"0\" genreid=\"0\" />\n"
        "  </group1>\n"
        "  <group2 caption=\"\" count=\"0\" />\n"
        "</playlist>\n";
    EXPECT_EQ(readBytes(file), expected);
    EXPECT_FALSE(model.Modified());
}

TEST_F(PlayListTest, RoundTripKeepsNamesEntriesAndEmptyLists) {
    const std::string special = "Tom & Jerry <live> \"quoted\" 'single' 中文 &amp;";
    setLists({{"S", {}}, {"", {}}, {"空列表", {}}, {"B", {}}});
    model.ListsSelectCell(1);
    dialogs.inputs = {special};
    model.RenameList1Click();
    engine.known["a.mp3"] = fullInfo("a.mp3");
    engine.known["b & c <d>.mp3"] = fullInfo("b & c <d>.mp3");
    dialogs.files = std::vector<std::string>{"b & c <d>.mp3", "a.mp3"};
    model.ListsSelectCell(1);
    model.AddFilesToList();
    model.ListsSelectCell(4);
    model.AddFilesToList();
    ASSERT_TRUE(model.SavePlaylists());

    TPlayListModel reloaded(file.string(), dialogs, engine);
    reloaded.LoadPlaylists();
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(reloaded.ListCount(), model.ListCount());
    EXPECT_EQ(reloaded.ListName(0), "<临时播放列表>");
    for (std::size_t row = 1; row < model.ListCount(); ++row) {
        EXPECT_EQ(reloaded.ListName(row), model.ListName(row));
        const auto& saved = model.List(row).Items;
        const auto& loaded = reloaded.List(row).Items;
        ASSERT_EQ(loaded.size(), saved.size()) << row;
        for (std::size_t k = 0; k < saved.size(); ++k) {
            EXPECT_EQ(loaded[k].StreamInfo, saved[k].StreamInfo);
            EXPECT_EQ(loaded[k].OpenIndex, static_cast<int32_t>(k));  // the position in the file
            EXPECT_EQ(loaded[k].SourceList, model.ListName(row));
        }
    }
    EXPECT_FALSE(reloaded.Modified());
    EXPECT_EQ(reloaded.DisplayedRow(), 0u);
    EXPECT_EQ(reloaded.PlayingRow(), 0u);
}

TEST_F(PlayListTest, EveryFieldSurvivesASaveAndALoadAndAMissingNumberReadsAsZero) {
    setLists({{"L", {}}});
    const TStreamInfo first = streamInfoWithEveryField(1);
    const TStreamInfo second = streamInfoWithEveryField(2);
    engine.known[first.FileName] = first;
    engine.known[second.FileName] = second;
    dialogs.files = std::vector<std::string>{first.FileName, second.FileName};
    model.ListsSelectCell(1);
    model.AddFilesToList();
    const std::string text = model.PlaylistsText();
    ASSERT_TRUE(model.LoadPlaylistsFromText(text));
    ASSERT_EQ(model.List(1).Items.size(), 2u);
    EXPECT_EQ(model.List(1).Items[0].StreamInfo, first);
    EXPECT_EQ(model.List(1).Items[1].StreamInfo, second);

    // Without one of its attributes an item reads that field as empty or 0
    // (BitsPerSample too, whose fresh value is 16) and every other as saved.
    for (const TStreamInfoField& field : kStreamInfoFields) {
        SCOPED_TRACE(field.attribute);
        const std::size_t item = text.find("<item0 ");
        const std::size_t at = text.find(std::string(" ") + field.attribute + "=\"", item);
        ASSERT_NE(at, std::string::npos);
        const std::size_t end = text.find('"', text.find('"', at) + 1);
        std::string without = text;
        without.erase(at, end + 1 - at);
        ASSERT_TRUE(model.LoadPlaylistsFromText(without));
        TStreamInfo expected = first;
        if (field.isText()) {
            field.text(expected).clear();
        } else {
            field.setNumber(expected, 0);
        }
        EXPECT_EQ(model.List(1).Items[0].StreamInfo, expected);
    }
}

TEST_F(PlayListTest, RestoringOpenOrderAfterLoadGivesTheFileOrder) {
    writeBytes(file, playlistXml({{"L", {"c", "a", "b", "d"}}}));
    model.LoadPlaylists();
    model.ListsSelectCell(1);
    model.SortbyTitle1Click();
    EXPECT_EQ(fileNames(1), (std::vector<std::string>{"a", "b", "c", "d"}));
    model.SortbyOpenIndex1Click();
    EXPECT_EQ(fileNames(1), (std::vector<std::string>{"c", "a", "b", "d"}));
}

TEST_F(PlayListTest, RenamedTemporaryListIsNotSavedAndGetsItsNameBack) {
    dialogs.inputs = {"mine"};
    model.RenameList1Click();
    EXPECT_EQ(model.ListName(0), "mine");
    ASSERT_TRUE(model.SaveIfModified());
    EXPECT_EQ(readBytes(file).find("mine"), std::string::npos);
    model.LoadPlaylists();
    EXPECT_EQ(model.ListName(0), "<临时播放列表>");
}

TEST_F(PlayListTest, MissingElementsAndBadNumbersKeepNamesAndListsPaired) {
    // Root count beyond the groups, a missing group, items missing from a
    // group, numbers that are not numbers, names that only look numbered.
    ASSERT_TRUE(model.LoadPlaylistsFromText(
        "<playlist count='5'>"
        "<group3 caption='three' count='x'><item0 filename='never read'/></group3>"
        "<group1 caption='one' count='4'>"
        "<item3 filename='d' filesize='12abc' track='300' genreid='-1' channels=''/>"
        "<item01 filename='not item1'/><item1 filename='b' duration='77'/><item1 filename='second item1'/>"
        "<item4 filename='beyond the count'/>"
        "</group1>"
        "<group02 caption='not group2'/>"
        "</playlist>"));
    EXPECT_EQ(listNames(), (std::vector<std::string>{"<临时播放列表>", "one", "", "three", "", ""}));
    ASSERT_EQ(model.List(1).Items.size(), 2u);
    const TMediaInf& b = model.List(1).Items[0];
    const TMediaInf& d = model.List(1).Items[1];
    EXPECT_EQ(b.StreamInfo.FileName, "b");
    EXPECT_EQ(b.StreamInfo.Duration, 77u);
    EXPECT_EQ(b.OpenIndex, 1);
    EXPECT_EQ(d.StreamInfo.FileName, "d");
    EXPECT_EQ(d.OpenIndex, 3);
    EXPECT_EQ(d.StreamInfo.FileSize, 0u);
    EXPECT_EQ(d.StreamInfo.Track, 300 % 256);
    EXPECT_EQ(d.StreamInfo.GenreID, 255);
    EXPECT_EQ(d.StreamInfo.Channels, 0);
    EXPECT_TRUE(model.List(3).Items.empty());

    ASSERT_TRUE(
        model.LoadPlaylistsFromText("<playlist count='-3'><group1 caption='x' count='1'/></playlist>"));
    EXPECT_EQ(model.ListCount(), 1u);
    ASSERT_TRUE(model.LoadPlaylistsFromText("<playlist><group1 caption='x'/></playlist>"));
    EXPECT_EQ(model.ListCount(), 1u);
}

TEST_F(PlayListTest, ForgedHugeCountsAreBounded) {
    ASSERT_TRUE(
        model.LoadPlaylistsFromText("<playlist count='2000000000'>"
                                    "<group1 caption='one' count='2000000000'><item0 "
                                    "filename='a'/><item1999999999 filename='z'/></group1>"
                                    "<group3 caption='three' count='1'><item0 filename='c'/></group3>"
                                    "<group1999999999 caption='far' count='0'/>"
                                    "</playlist>"));
    // temporary, one, (missing 2), three, missing lists up to the bound, far.
    ASSERT_EQ(model.ListCount(), 1 + 3 + TPlayListModel::kMaxMissingLists);
    EXPECT_EQ(model.ListName(1), "one");
    EXPECT_EQ(model.ListName(2), "");
    EXPECT_EQ(model.ListName(3), "three");
    EXPECT_EQ(model.ListName(model.ListCount() - 1), "far");
    EXPECT_EQ(fileNames(1), (std::vector<std::string>{"a", "z"}));
    EXPECT_EQ(model.List(1).Items[1].OpenIndex, 1999999999);
}

TEST_F(PlayListTest, DamagedFileIsReportedAndKeptRecoverable) {
    setLists({{"我的歌", {"a.mp3"}}, {"B", {"b.mp3"}}});
    ASSERT_TRUE(model.SavePlaylists());
    const std::string good = readBytes(file);

    // Two kinds of damage: a byte that breaks the markup, and one that
    // breaks the UTF-8 of a name (which must not re-read the file as GBK).
    std::string broken = good;
    broken[broken.find("<group2")] = 'x';
    std::string badByte = good;
    badByte[badByte.find("我") + 1] = '\xFF';
    for (const std::string& damaged : {broken, badByte}) {
        SCOPED_TRACE(damaged.substr(0, 120));
        std::filesystem::remove(dir / "playlist.xml.bad");
        writeBytes(file, damaged);
        dialogs.messages.clear();
        model.LoadPlaylists();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_FALSE(dialogs.messages[0].text.empty());
        EXPECT_NE(dialogs.messages[0].text.find("line"), std::string::npos);
        EXPECT_EQ(dialogs.messages[0].caption, "Quillet");
        EXPECT_EQ(dialogs.messages[0].icon, TMsgIcon::Error);
        EXPECT_EQ(model.ListCount(), 1u);
        EXPECT_FALSE(model.Modified());

        // Without a change nothing is written.
        EXPECT_TRUE(model.SaveIfModified());
        EXPECT_EQ(readBytes(file), damaged);

        // After a change the damaged file is moved aside, then replaced.
        dialogs.inputs = {"new"};
        model.NewGroup1Click();
        ASSERT_TRUE(model.SaveIfModified());
        EXPECT_EQ(readBytes(dir / "playlist.xml.bad"), damaged);
        model.LoadPlaylists();
        EXPECT_EQ(listNames(), (std::vector<std::string>{"<临时播放列表>", "new"}));

        // A later save replaces the now good file and leaves the copy alone.
        model.SetModified();
        ASSERT_TRUE(model.SavePlaylists());
        EXPECT_EQ(readBytes(dir / "playlist.xml.bad"), damaged);
    }

    // A document that is not a playlist is not overwritten either.
    std::filesystem::remove(dir / "playlist.xml.bad");
    writeBytes(file, "<skin><playlist_window/></skin>");
    dialogs.messages.clear();
    model.LoadPlaylists();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    model.SetModified();
    ASSERT_TRUE(model.SavePlaylists());
    EXPECT_EQ(readBytes(dir / "playlist.xml.bad"), "<skin><playlist_window/></skin>");
}

TEST_F(PlayListTest, FailedSaveKeepsThePreviousFileAndIsReported) {
    setLists({{"old", {"a.mp3"}}});
    ASSERT_TRUE(model.SavePlaylists());
    const std::string before = readBytes(file);

    dialogs.inputs = {"new"};
    model.NewGroup1Click();
    // Writes beyond 100 bytes fail (EFBIG) the way a full disk would.
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = model.SaveIfModified();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_TRUE(model.Modified());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Quillet");
    EXPECT_EQ(readBytes(file), before);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 1u);  // no temporary file left behind

    EXPECT_TRUE(model.SaveIfModified());
    model.LoadPlaylists();
    EXPECT_EQ(listNames(), (std::vector<std::string>{"<临时播放列表>", "old", "new"}));
}
