// TAPETag: footer detection before an optional ID3v1 tag, items, caps and
// damaged sizes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mediainfo/APETag.h"

using mediainfo::MemorySource;
using mediainfo::TAPETag;

namespace {

std::string le32(uint32_t n) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>(n >> (8 * i) & 0xFF);
    return out;
}

// An item: value size, flags, name, zero byte, value.
std::string item(const std::string& name, const std::string& value, uint32_t declaredSize) {
    return le32(declaredSize) + le32(0) + name + std::string(1, '\0') + value;
}
std::string item(const std::string& name, const std::string& value) {
    return item(name, value, value.size());
}

// "APETAGEX", version, tag size (items + footer), item count, flags, 8
// reserved bytes.
std::string footer(uint32_t version, uint32_t size, uint32_t count) {
    return "APETAGEX" + le32(version) + le32(size) + le32(count) + le32(0) + std::string(8, '\0');
}
std::string ape(const std::string& items, uint32_t count, uint32_t version = 2000) {
    return items + footer(version, items.size() + 32, count);
}

const std::string kAudio(256, '\xFF');
const std::string kID3v1 = "TAG" + std::string(125, '\0');

TAPETag readBytes(const std::string& b, bool* ok = nullptr) {
    MemorySource source(b);
    TAPETag t;
    const bool result = t.ReadFromSource(source);
    if (ok) *ok = result;
    return t;
}

std::vector<std::pair<std::string, std::string>> pairs(const TAPETag& t) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& i : t.items()) out.emplace_back(i.name, i.value);
    return out;
}

}  // namespace

TEST(APETag, FooterAtTheEndOrBeforeID3v1) {
    const std::string tag = ape(item("Title", " Song ") + item("Artist", "\xE6\xAD\x8C\xE6\x89\x8B"), 2);
    bool ok = false;
    TAPETag t = readBytes(kAudio + tag, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(t.exists());
    EXPECT_EQ(t.version(), 2000);
    EXPECT_EQ(t.size(), static_cast<int32_t>(tag.size()));
    const std::vector<std::pair<std::string, std::string>> expected = {{"Title", "Song"}, {"Artist", "歌手"}};
    EXPECT_EQ(pairs(t), expected);
    EXPECT_EQ(t.value("TITLE"), "Song");
    EXPECT_EQ(t.value("Album"), "");

    // Followed by an ID3v1 tag: the footer stands 160 bytes before the end.
    t = readBytes(kAudio + ape(item("Title", "Song"), 1, 1000) + kID3v1);
    EXPECT_TRUE(t.exists());
    EXPECT_EQ(t.version(), 1000);
    EXPECT_EQ(t.value("Title"), "Song");

    // No tag: true, nothing found.
    t = readBytes(kAudio + kID3v1, &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(t.exists());
    EXPECT_TRUE(t.items().empty());
}

TEST(APETag, TooShortFilesFail) {
    bool ok = true;
    readBytes(std::string(31, 'x'), &ok);
    EXPECT_FALSE(ok);
    readBytes(footer(2000, 32, 0), &ok);  // footer position 0
    EXPECT_FALSE(ok);
    readBytes(std::string(20, 'x') + kID3v1, &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(TAPETag().ReadFromFile("/nonexistent/file.mp3"));
}

TEST(APETag, ValuesAreCappedAndTheNextItemIsFound) {
    // A 300-byte value keeps its first 250 bytes; a UTF-8 value is cut
    // before a character, never inside one; binary bytes stay bytes
    // (trimmed like text).
    std::string cn;
    for (int i = 0; i < 100; ++i) cn += "中";  // 300 bytes
    const std::string binary = std::string("\x00\x01\xFF\xFE", 4) + std::string(300, '\x80');
    const std::string items = item("Long", std::string(300, 'v')) + item("Chinese", cn) +
                              item("Cover", binary) + item("Next", "found");
    TAPETag t = readBytes(kAudio + ape(items, 4));
    ASSERT_EQ(t.items().size(), 4u);
    EXPECT_EQ(t.value("Long"), std::string(300, 'v').substr(0, 250));
    EXPECT_EQ(t.value("Chinese"), cn.substr(0, 249));
    // 250 bytes, of which the two leading control bytes are trimmed.
    EXPECT_EQ(t.value("Cover"), binary.substr(2, 248));
    EXPECT_EQ(t.value("Next"), "found");
}

TEST(APETag, DamagedSizesEndTheItemsSafely) {
    // More items declared than there are: the list ends at the footer.
    TAPETag t = readBytes(kAudio + ape(item("A", "1") + item("B", "2"), 1000000));
    EXPECT_EQ(t.items().size(), 2u);
    // A value size running into the footer keeps what lies before it.
    t = readBytes(kAudio + ape(item("A", "short", 0xFFFFFFF0u), 3));
    ASSERT_EQ(t.items().size(), 1u);
    EXPECT_EQ(t.items()[0].value, "short");
    // A tag size larger than the file or smaller than a footer: no items.
    t = readBytes(item("A", "1") + footer(2000, 0x7FFFFFFF, 1));
    EXPECT_TRUE(t.exists());
    EXPECT_TRUE(t.items().empty());
    t = readBytes(kAudio + item("A", "1") + footer(2000, 8, 1));
    EXPECT_TRUE(t.items().empty());
    // A name without its zero byte.
    t = readBytes(kAudio + ape(le32(1) + le32(0) + std::string(300, 'n'), 1));
    EXPECT_TRUE(t.exists());
    EXPECT_TRUE(t.items().empty());
}

TEST(APETag, Fixture) {
    TAPETag t;
    ASSERT_TRUE(t.ReadFromFile(QUILLET_FIXTURES "/media/tags/ape-before-id3v1.mp3"));
    EXPECT_TRUE(t.exists());
    EXPECT_EQ(t.version(), 2000);
    EXPECT_EQ(t.value("Title"), "APE 标题");
    EXPECT_EQ(t.value("Comment"), std::string(250, 'x'));
    EXPECT_EQ(t.value("Year"), "2015");
}
