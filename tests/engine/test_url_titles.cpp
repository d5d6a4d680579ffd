// Titles of network streams: the metadata forms servers send, titles from
// URLs, tag series and the cut of long titles.
#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

#include "engine/URLTitles.h"
#include "platform/text/Text.h"

TEST(URLTitles, StreamTitleForms) {
    struct Case {
        std::string text;
        std::string title;
    };
    const Case cases[] = {
        {"StreamTitle='A - B';StreamUrl='';", "A - B"},
        {"StreamTitle='A - B';", "A - B"},
        {"StreamTitle='Rock; Roll';StreamUrl='';", "Rock"},  // cut before the ";"
        {"StreamTitle='';", ""},
        {"StreamTitle=';", ""},  // ";" right after the key
        {"StreamTitle=", ""},    // the text ends at the key
        {"StreamTitle='", ""},
        {"StreamUrl='x';StreamTitle='A - B';", ""},  // a ";" before the key
        {"StreamTitle='No end'", "No end"},          // no ";": up to the closing quote
        {"TITLE=Chained\0ARTIST=X\0"s, "Chained"},   // an Ogg stream's comments
        {"ARTIST=X\0title=Lower\0"s, "Lower"},
        {"Nothing here", ""},
    };
    for (const auto& c : cases) {
        const std::string text = c.text + std::string(2, '\0');
        EXPECT_EQ(MetaTitle(text.c_str(), "StreamTitle="), c.title) << c.text;
    }
    EXPECT_EQ(MetaTitle(nullptr, "StreamTitle="), "");
    EXPECT_EQ(MetaTitle("Title='Wma Title';", "Title="), "Wma Title");
}

TEST(URLTitles, TitlesAreReadableUtf8AndCutWithoutSplittingCharacters) {
    // GBK bytes of a Chinese title become UTF-8; UTF-8 stays.
    const std::string gbk = qtext::utf8ToGbk("电台 - 歌曲");
    EXPECT_EQ(MetaTitle(("StreamTitle='" + gbk + "';").c_str(), "StreamTitle="), "电台 - 歌曲");
    EXPECT_EQ(StreamTitleText("歌曲"), "歌曲");
    // 300 bytes of three-byte characters: cut to 255 bytes, whole characters only.
    std::string longTitle;
    for (int i = 0; i < 100; ++i) longTitle += "歌";
    const std::string cut = StreamTitleText(longTitle);
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_TRUE(qtext::isValidUtf8(cut));
    std::string ascii(300, 'a');
    ascii[254] = char(0xE6);  // a lead byte at the edge is not Latin-1 text to keep whole
    EXPECT_LE(StreamTitleText(ascii).size(), 255u);
    EXPECT_TRUE(qtext::isValidUtf8(StreamTitleText(ascii)));
}

TEST(URLTitles, TitleFromURL) {
    struct Case {
        std::string url, title;
    };
    const Case cases[] = {
        {"http://host/music/song.mp3", "song"},
        {"http://host/a%20b.ogg", "a%20b"},
        {"http://host/x.mp3", ""},       // fewer than six characters after the last "/"
        {"http://host/radio", ""},       // "/" leaves five characters: not found
        {"http://host/stream1", "str"},  // the last four characters always go
        {"http://h/", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TitleFromURL(c.url), c.title) << c.url;
}

TEST(URLTitles, SeriesAndNumbers) {
    const char series[] = "icy-br:128\0ice-bitrate: 64\0\0";
    const auto entries = SeriesEntries(series);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(NumberAfter(entries[0], 7), 128u);
    EXPECT_EQ(NumberAfter(entries[1], 12), 64u);
    EXPECT_EQ(NumberAfter("icy-br:", 7), 0u);
    EXPECT_EQ(NumberAfter("icy-br:99999999999", 7), 0u);
    EXPECT_TRUE(SeriesEntries(nullptr).empty());
    EXPECT_EQ(CommentValue("title=A", "TITLE"), std::optional<std::string_view>("A"));
    EXPECT_EQ(CommentValue("SUBTITLE=A", "TITLE"), std::nullopt);
    EXPECT_EQ(CommentValue("TITLE", "TITLE"), std::nullopt);
}
