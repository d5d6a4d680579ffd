// TID3v1: the ID3v1.0/1.1 layout, Lyrics3 v2 blocks, the setters' long forms,
// the genre table and the memory decoder.
#include <gtest/gtest.h>

#include <string>

#include "mediainfo/Genres.h"
#include "mediainfo/ID3v1.h"

using mediainfo::MemorySource;
using mediainfo::TID3v1;
using mediainfo::TMP3TagInfo;

namespace {

std::string gbk(const char* hex) {  // GBK bytes written as hex, e.g. "C4E3BAC3"
    std::string out;
    for (const char* p = hex; p[0] && p[1]; p += 2)
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    return out;
}

std::string pad(std::string s, std::size_t n, char fill = '\0') {
    s.resize(n, fill);
    return s;
}

// A 128-byte ID3v1 tag: "TAG", title 30, artist 30, album 30, year 4,
// comment 30 (the last two bytes of which are byte 125 and 126), genre 1.
std::string tag(const std::string& title, const std::string& artist, const std::string& album,
                const std::string& year, const std::string& comment30, unsigned char genre) {
    return "TAG" + pad(title, 30) + pad(artist, 30) + pad(album, 30) + pad(year, 4) + pad(comment30, 30) +
           std::string(1, static_cast<char>(genre));
}

// A Lyrics3 v2 block: "LYRICSBEGIN", fields (ID, 5-digit length, value),
// 6-digit size of all that, "LYRICS200".
std::string lyrics3(const std::string& fields) {
    const std::string body = "LYRICSBEGIN" + fields;
    char size[8];
    std::snprintf(size, sizeof size, "%06zu", body.size());
    return body + size + "LYRICS200";
}

std::string lfield(const std::string& id, const std::string& value) {
    char len[8];
    std::snprintf(len, sizeof len, "%05zu", value.size());
    return id + len + value;
}

TID3v1 readBytes(const std::string& bytes, bool* ok = nullptr) {
    MemorySource source(bytes);
    TID3v1 t;
    const bool result = t.ReadFromSource(source);
    if (ok) *ok = result;
    return t;
}

const std::string kAudio(300, '\xAA');

}  // namespace

TEST(ID3v1, VersionFollowsBytes125And126) {
    // Byte 125 = 0, byte 126 = 5: ID3v1.1, track 5, comment of 28 bytes.
    std::string c = pad("comment of twenty-eight byte", 28) + std::string("\0\x05", 2);
    TID3v1 t = readBytes(kAudio + tag("Title", "Artist", "Album", "1999", c, 17));
    EXPECT_TRUE(t.exists());
    EXPECT_EQ(t.version(), 2);
    EXPECT_EQ(t.track(), 5);
    EXPECT_EQ(t.comment(), "comment of twenty-eight byte");
    EXPECT_EQ(t.title(), "Title");
    EXPECT_EQ(t.year(), "1999");
    EXPECT_EQ(t.genreID(), 17);
    EXPECT_EQ(t.genreName(), "Rock");
    EXPECT_EQ(t.totalSize(), 128);

    // Byte 125 = byte 126 = space: ID3v1.0, all 30 bytes are comment.
    t = readBytes(kAudio + tag("T", "A", "B", "2000", pad("thirty byte comment, spaces:", 30, ' '), 0));
    EXPECT_EQ(t.version(), 1);
    EXPECT_EQ(t.track(), 0);
    EXPECT_EQ(t.comment(), "thirty byte comment, spaces:");
    // Byte 125 = space, byte 126 = 3 (space-padding writers): ID3v1.1.
    t = readBytes(kAudio + tag("T", "A", "B", "2000", pad("x", 28, ' ') + " \x03", 0));
    EXPECT_EQ(t.version(), 2);
    EXPECT_EQ(t.track(), 3);
    EXPECT_EQ(t.comment(), "x");
    // A full 30-byte comment whose last bytes are text is ID3v1.0.
    t = readBytes(kAudio + tag("T", "A", "B", "2000", "123456789012345678901234567890", 0));
    EXPECT_EQ(t.version(), 1);
    EXPECT_EQ(t.comment(), "123456789012345678901234567890");
}

TEST(ID3v1, FieldsEndAtTheirFirstZeroAndDecodeGbk) {
    // 你好 in GBK, then garbage after the terminating zero; 30 GBK bytes of
    // 15 characters; an artist cut inside its last GBK character.
    const std::string title = gbk("C4E3BAC3") + std::string("\0junk", 5);
    const std::string album = gbk("D2BBB6FEC8FDCBC4CEE5C1F9C6DFB0CBBEC5CAAED2BBB6FEC8FDCBC4CEE5");
    ASSERT_EQ(album.size(), 30u);
    const std::string artist = pad("Band ", 29, ' ') + gbk("C4");  // a lead byte without its tail
    TID3v1 t = readBytes(kAudio + tag(title, artist, album, "1979", "", 255));
    EXPECT_EQ(t.title(), "你好");
    EXPECT_EQ(t.album(), "一二三四五六七八九十一二三四五");
    EXPECT_EQ(t.artist(), "Band");
    EXPECT_TRUE(t.longAlbum().empty());  // 15 characters fit the field
    EXPECT_EQ(t.genreID(), 255);
    EXPECT_EQ(t.genreName(), "");

    // Text that is UTF-8 already stays, even when 30 bytes cut a character.
    std::string utf8 = "Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87";  // Café 中文
    std::string cut = pad("", 26, 'a') + "\xE4\xB8\xAD\xE6";    // 中 then half of 文
    t = readBytes(kAudio + tag(utf8, cut, "", "", "", 0));
    EXPECT_EQ(t.title(), utf8);
    EXPECT_EQ(t.artist(), pad("", 26, 'a') + "\xE4\xB8\xAD");
}

TEST(ID3v1, DetailsOffReadsOnlyPresence) {
    const std::string bytes = kAudio + lyrics3(lfield("ETT", "Long")) + tag("Title", "", "", "", "", 3);
    MemorySource source(bytes);
    TID3v1 t;
    ASSERT_TRUE(t.read(source, false));
    EXPECT_TRUE(t.exists());
    EXPECT_TRUE(t.lyrics3Present());
    EXPECT_EQ(t.title(), "");
    EXPECT_EQ(t.genreID(), 255);
}

TEST(ID3v1, FilesWithoutTagOrTooShort) {
    bool ok = false;
    TID3v1 t = readBytes(kAudio, &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(t.exists());
    EXPECT_EQ(t.totalSize(), 0);
    t = readBytes("TAG short file", &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(t.exists());
    TID3v1 missing;
    EXPECT_FALSE(missing.ReadFromFile("/nonexistent/file.mp3"));
}

TEST(ID3v1, Lyrics3LongFormsAndLyrics) {
    const std::string longTitle = "A Title Of Exactly Forty Characters Long";
    const std::string block =
        lyrics3(lfield("IND", "11") + lfield("ETT", longTitle) + lfield("EAR", "  Short Artist ") +
                lfield("AUT", " Writer ") + lfield("LYR", "\r\none\rtwo\r\nthree\r") +
                lfield("IMG", " pic.jpg||desc ") + lfield("INF", gbk("D6D0CEC4")));
    TID3v1 t = readBytes(kAudio + block + tag(longTitle.substr(0, 30), "Artist", "", "", "", 1));
    EXPECT_TRUE(t.lyrics3Present());
    EXPECT_EQ(t.lyrics3Size(), static_cast<int32_t>(block.size()) - 15);
    EXPECT_EQ(t.lyrics3TotalSize(), static_cast<int32_t>(block.size()));
    EXPECT_EQ(t.totalSize(), static_cast<int32_t>(block.size()) + 128);
    EXPECT_EQ(t.title(), longTitle);  // 40 characters from ETT
    EXPECT_EQ(t.longTitle(), longTitle);
    EXPECT_EQ(t.artist(), "Short Artist");  // 12 characters replace the short field
    EXPECT_TRUE(t.longArtist().empty());
    EXPECT_EQ(t.author(), "Writer");
    EXPECT_EQ(t.lyrics(), "one\r\ntwo\r\nthree");
    EXPECT_EQ(t.image(), " pic.jpg||desc ");
    EXPECT_EQ(t.comment(), "中文");

    // Without an ID3v1 tag the block ends the file.
    t = readBytes(kAudio + lyrics3(lfield("ETT", "Alone")));
    EXPECT_FALSE(t.exists());
    EXPECT_TRUE(t.lyrics3Present());
    EXPECT_EQ(t.title(), "Alone");
    EXPECT_EQ(t.totalSize(), t.lyrics3TotalSize());
}

TEST(ID3v1, DamagedLyrics3BlocksCountAsAbsentOrEndEarly) {
    const std::string id3 = tag("T", "", "", "", "", 0);
    // A footer whose start marker is missing: no block, its bytes are audio.
    std::string block = lyrics3(lfield("ETT", "Lost"));
    block[0] = 'X';
    TID3v1 t = readBytes(kAudio + block + id3);
    EXPECT_FALSE(t.lyrics3Present());
    EXPECT_EQ(t.lyrics3Size(), 0);
    EXPECT_EQ(t.title(), "T");
    // A size reaching before the start of the file.
    t = readBytes("999999LYRICS200" + id3);
    EXPECT_FALSE(t.lyrics3Present());
    // A size that is not a number.
    t = readBytes(kAudio + "LYRICSBEGIN" + "12a456LYRICS200" + id3);
    EXPECT_FALSE(t.lyrics3Present());
    // An unknown field ID ends the fields; a length that is not a number too;
    // a length running past the block keeps what the block holds.
    t = readBytes(kAudio + lyrics3(lfield("ETT", "First") + lfield("XYZ", "?") + lfield("EAR", "Never")) +
                  id3);
    EXPECT_TRUE(t.lyrics3Present());
    EXPECT_EQ(t.title(), "First");
    EXPECT_EQ(t.artist(), "");
    t = readBytes(kAudio + lyrics3(lfield("ETT", "First") + "EAR0x005Never") + id3);
    EXPECT_EQ(t.artist(), "");
    t = readBytes(kAudio + lyrics3("ETT00099Short") + id3);
    EXPECT_EQ(t.title(), "Short");
}

TEST(ID3v1, SettersTrimAndKeepLongForms) {
    TID3v1 t;
    t.setTitle("Thirty-one characters, exactly \t ");
    EXPECT_EQ(t.title(), "Thirty-one characters, exactly");
    EXPECT_TRUE(t.longTitle().empty());  // 30 characters
    t.setTitle("Thirty-one characters, exactly!");
    EXPECT_EQ(t.longTitle(), "Thirty-one characters, exactly!");
    // 31 Chinese characters are 31 characters, not 93 bytes' worth.
    std::string cn;
    for (int i = 0; i < 30; ++i) cn += "中";
    t.setArtist(cn);
    EXPECT_TRUE(t.longArtist().empty());
    t.setArtist(cn + "文");
    EXPECT_EQ(t.longArtist(), cn + "文");
    t.setArtist("short");  // clears the long form
    EXPECT_EQ(t.artist(), "short");
    EXPECT_TRUE(t.longArtist().empty());
    t.setYear("二〇〇九年  ");
    EXPECT_EQ(t.year(), "二〇〇九");
    t.reset();
    EXPECT_EQ(t.version(), 1);
    EXPECT_EQ(t.genreID(), 255);
    EXPECT_EQ(t.artist(), "");
}

TEST(ID3v1, GenreTable) {
    EXPECT_EQ(mediainfo::genreName(0), "Blues");
    EXPECT_EQ(mediainfo::genreName(79), "Hard Rock");
    EXPECT_EQ(mediainfo::genreName(80), "Folk");
    EXPECT_EQ(mediainfo::genreName(147), "Synthpop");
    EXPECT_EQ(mediainfo::genreName(148), "");
    for (unsigned i = 0; i < mediainfo::kGenreCount; ++i) EXPECT_FALSE(mediainfo::genreName(i).empty()) << i;
}

TEST(ID3v1, MemoryDecoder) {
    TMP3TagInfo info;
    info.title = "kept";
    EXPECT_FALSE(mediainfo::decodeID3v1("TAX" + tag("", "", "", "", "", 0).substr(3), info));
    EXPECT_FALSE(mediainfo::decodeID3v1(tag("", "", "", "", "", 0).substr(0, 127), info));
    EXPECT_EQ(info.title, "kept");

    const std::string c11 = pad("note  ", 28) + std::string("\0\x09", 2);
    ASSERT_TRUE(
        mediainfo::decodeID3v1(tag(gbk("C4E3BAC3") + "  ", "Artist", "Album", "2001", c11, 13), info));
    EXPECT_EQ(info.title, "你好");
    EXPECT_EQ(info.artist, "Artist");
    EXPECT_EQ(info.album, "Album");
    EXPECT_EQ(info.year, "2001");
    EXPECT_EQ(info.comment, "note");
    EXPECT_EQ(info.track, 9);
    EXPECT_EQ(info.genre, "Pop");

    ASSERT_TRUE(mediainfo::decodeID3v1(tag("T", "", "", "", "thirty byte comment of v1.0 !", 255), info));
    EXPECT_EQ(info.track, 0);
    EXPECT_EQ(info.comment, "thirty byte comment of v1.0 !");
    EXPECT_EQ(info.genre, "Unknown");
    ASSERT_TRUE(mediainfo::decodeID3v1(tag("T", "", "", "", "", 148), info));
    EXPECT_EQ(info.genre, "Unknown");
}

TEST(ID3v1, Fixtures) {
    const std::string dir = QUILLET_FIXTURES "/media/tags/";
    TID3v1 t;
    ASSERT_TRUE(t.ReadFromFile(dir + "v10-gbk.mp3"));
    EXPECT_EQ(t.version(), 1);
    EXPECT_EQ(t.title(), "甜蜜蜜");
    EXPECT_EQ(t.comment(), "三十个字节的注释，正好三十个字");
    ASSERT_TRUE(t.ReadFromFile(dir + "v11-gbk.mp3"));
    EXPECT_EQ(t.version(), 2);
    EXPECT_EQ(t.track(), 7);
    EXPECT_EQ(t.artist(), "邓丽君");
    EXPECT_EQ(t.genreName(), "Rock");
    ASSERT_TRUE(t.ReadFromFile(dir + "lyrics3-v2.mp3"));
    EXPECT_TRUE(t.lyrics3Present());
    EXPECT_EQ(t.title(), "A Title Of Exactly Forty Characters Long");
    EXPECT_EQ(t.artist(), "歌手长名");
    EXPECT_EQ(t.lyrics(), "line one\r\nline two\r\nline three");
    ASSERT_TRUE(t.ReadFromFile(dir + "v11-lame.mp3"));
    EXPECT_EQ(t.title(), "V1 Title");
    EXPECT_EQ(t.track(), 5);
    EXPECT_EQ(t.genreName(), "Blues");
}
