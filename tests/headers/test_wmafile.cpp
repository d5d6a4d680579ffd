#include <gtest/gtest.h>

#include <vector>

#include "mediainfo/WMAfile.h"
#include "platform/text/Text.h"
#include "tests/headers/HeaderFixtures.h"

using namespace mediainfo;
using namespace headertest;

namespace {

// GUIDs as ASF stores them (first three fields little-endian).
const std::string kHeader("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const std::string kFileProps("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
const std::string kStreamProps("\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16);
const std::string kContent("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const std::string kExtended("\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50", 16);

std::string object(const std::string& guid, const std::string& body) {
    return guid + le64(24 + body.size()) + body;
}

std::string fileProperties(uint32_t maxBitRate) {
    return object(kFileProps, std::string(76, '\0') + le32(maxBitRate));
}

std::string streamProperties(uint16_t channels, uint32_t rate, uint32_t avgBytes) {
    return object(kStreamProps, std::string(54, '\0') + le16(0x161) + le16(channels) + le32(rate) +
                                    le32(avgBytes) + le16(1) + le16(16) + le16(0));
}

std::string utf16(const std::string& utf8) {
    return qtext::utf8ToUtf16le(utf8) + std::string(2, '\0');
}

std::string content(const std::string& title, const std::string& author, const std::string& rights,
                    const std::string& description) {
    const std::vector<std::string> s = {
        title.empty() ? "" : utf16(title), author.empty() ? "" : utf16(author),
        rights.empty() ? "" : utf16(rights), description.empty() ? "" : utf16(description), ""};
    std::string body;
    for (const auto& x : s) body += le16(uint16_t(x.size()));
    for (const auto& x : s) body += x;
    return object(kContent, body);
}

struct Descriptor {
    std::string name;
    uint16_t type;
    std::string value;  // raw bytes
};

std::string extended(const std::vector<Descriptor>& ds) {
    std::string body = le16(uint16_t(ds.size()));
    for (const auto& d : ds) {
        const std::string name = utf16(d.name);
        body += le16(uint16_t(name.size())) + name + le16(d.type) + le16(uint16_t(d.value.size())) + d.value;
    }
    return object(kExtended, body);
}

std::string asf(const std::vector<std::string>& objects, uint32_t count = 0xFFFFFFFF,
                size_t dataBytes = 1000) {
    std::string body;
    for (const auto& o : objects) body += o;
    if (count == 0xFFFFFFFF) {  // count the objects, some strings hold two
        count = 0;
        for (size_t at = 0; at < body.size(); ++count)
            at += uint8_t(body[at + 16]) | uint8_t(body[at + 17]) << 8 | uint8_t(body[at + 18]) << 16;
    }
    std::string h = kHeader + le64(30 + body.size()) + le32(count) + "\x01\x02" + body;
    return h + std::string(dataBytes, '\0');
}

TWMAfile read(const std::string& bytes, bool* ok = nullptr) {
    TWMAfile w;
    MemorySource src(bytes);
    const bool result = w.ReadFromSource(src);
    if (ok) *ok = result;
    return w;
}

std::string basicStream() {
    return fileProperties(64000) + streamProperties(2, 44100, 8000);
}

}  // namespace

TEST(WMAfile, PropertiesObjectsGiveTheTechnicalData) {
    const std::string bytes = asf({fileProperties(64000), streamProperties(2, 44100, 8000)}, 2, 100000);
    const TWMAfile w = read(bytes);
    ASSERT_TRUE(w.valid());
    EXPECT_EQ(w.channels(), 2);
    EXPECT_EQ(w.sampleRate(), 44100);
    EXPECT_EQ(w.bitRate(), 64);
    EXPECT_EQ(w.fileSize(), int64_t(bytes.size()));
    EXPECT_DOUBLE_EQ(w.duration(), bytes.size() * 8.0 / 64000);
}

TEST(WMAfile, ContentDescriptionStrings) {
    const TWMAfile w =
        read(asf({content("  My Title ", "\xE4\xB8\xAD\xE6\x96\x87", "Rights", "Words"), basicStream()}));
    ASSERT_TRUE(w.valid());
    EXPECT_EQ(w.title(), "My Title");
    EXPECT_EQ(w.artist(), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(w.comment(), "Words");
    // Only the first 250 characters of a string are kept; the next is still read.
    const TWMAfile cut = read(asf({content(std::string(300, 'x'), "Next", "", ""), basicStream()}));
    EXPECT_EQ(cut.title(), std::string(250, 'x'));
    EXPECT_EQ(cut.artist(), "Next");
}

TEST(WMAfile, ExtendedDescriptorsByNameIgnoringCase) {
    const TWMAfile w = read(asf({content("Plain", "", "", ""), basicStream(),
                                 extended({{"wm/title", 0, utf16("Better")},
                                           {" WM/AlbumTitle ", 0, utf16("Album")},
                                           {"WM/Track", 3, le32(9)},  // a number: skipped
                                           {"WM/Genre", 0, utf16("Jazz")},
                                           {"WM/Year", 0, utf16("1999")},
                                           {"WM/Author", 0, utf16("Band")},
                                           {"WM/Description", 0, utf16("Note")},
                                           {"WM/Picture", 1, std::string(600, '\x01')},
                                           {"WM/Genre", 0, utf16("Blues")}})}));
    ASSERT_TRUE(w.valid());
    EXPECT_EQ(w.title(), "Better");  // later replaces earlier
    EXPECT_EQ(w.album(), "Album");
    EXPECT_EQ(w.track(), 0);
    EXPECT_EQ(w.genre(), "Blues");
    EXPECT_EQ(w.year(), "1999");
    EXPECT_EQ(w.artist(), "Band");
    EXPECT_EQ(w.comment(), "Note");

    EXPECT_EQ(read(asf({basicStream(), extended({{"WM/Track", 0, utf16("12")}})})).track(), 12);
    EXPECT_EQ(read(asf({basicStream(), extended({{"WM/Track", 0, utf16("3/9")}})})).track(), 0);
}

TEST(WMAfile, ImplausibleHeadersAreNotValid) {
    EXPECT_FALSE(read(asf({fileProperties(64000), streamProperties(7, 44100, 8000)})).valid());
    EXPECT_TRUE(read(asf({fileProperties(64000), streamProperties(6, 44100, 8000)})).valid());
    EXPECT_FALSE(read(asf({fileProperties(320000), streamProperties(2, 44100, 8000)})).valid());
    EXPECT_FALSE(read(asf({fileProperties(0), streamProperties(2, 44100, 8000)})).valid());
    EXPECT_FALSE(read(asf({fileProperties(64000), streamProperties(2, 7999, 8000)})).valid());
    EXPECT_FALSE(read(asf({fileProperties(64000), streamProperties(2, 96001, 8000)})).valid());
    EXPECT_FALSE(read(asf({fileProperties(64000), streamProperties(2, 44100, 40000)})).valid());
    const TWMAfile w = read(asf({content("T", "", "", ""), fileProperties(64000)}));
    EXPECT_FALSE(w.valid());
    EXPECT_TRUE(w.title().empty());  // nothing is kept from an unusable header
    EXPECT_EQ(w.fileSize(), 0);
}

TEST(WMAfile, HostileObjectListsEndQuickly) {
    bool ok = false;
    // An object of size 0 with a huge object count.
    std::string zero = asf({basicStream()}, 0xFFFFFFF0);
    zero.replace(30 + 16, 8, le64(0));
    EXPECT_FALSE(read(zero, &ok).valid());
    EXPECT_TRUE(ok);
    // A count beyond the objects there: the walk ends at the end of the file.
    EXPECT_TRUE(read(asf({basicStream()}, 0xFFFFFFF0, 0), &ok).valid());
    // A truncated descriptor list.
    std::string cut = asf({basicStream(), extended({{"WM/Genre", 0, utf16("Jazz")}})}, 3, 0);
    cut.resize(cut.size() - 4);
    EXPECT_TRUE(read(cut, &ok).valid());
    // Not ASF at all.
    const TWMAfile none = read("RIFF" + std::string(100, '\0'), &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(none.valid());
    TWMAfile w;
    EXPECT_FALSE(w.ReadFromFile(fixture("no-such-file.wma")));
}

TEST(WMAfile, FixtureFromTheEncoder) {
    TWMAfile w;
    ASSERT_TRUE(w.ReadFromFile(fixture("wma.wma")));
    ASSERT_TRUE(w.valid());
    EXPECT_EQ(w.channels(), 1);
    EXPECT_EQ(w.sampleRate(), 22050);
    EXPECT_EQ(w.bitRate(), 32);
    EXPECT_EQ(w.title(), "WMA Title");
    EXPECT_EQ(w.artist(), "WMA Artist");
    EXPECT_EQ(w.album(), "WMA Album");
    EXPECT_EQ(w.genre(), "Jazz");
    // The encoder stores the comment as a descriptor named "Description",
    // which is not one of the names read (only "WM/Description" is).
    EXPECT_EQ(w.comment(), "");
    // The length is estimated from the whole file at the maximum bit rate
    // (32 kbit/s here), not taken from the header's play duration.
    const double size = double(fileBytes(fixture("wma.wma")).size());
    EXPECT_DOUBLE_EQ(w.duration(), size * 8 / 32000);
    EXPECT_GT(w.duration(), ffprobeDuration("wma.wma"));
}

TEST(WMAfile, AttributesAgreeWithMutagen) {
    TWMAfile w;
    ASSERT_TRUE(w.ReadFromFile(fixture("wma.wma")));
    const auto m = [](const char* field) { return mutagenField("wma.wma", field).value_or("<none>"); };
    EXPECT_EQ(w.title(), m("Title"));
    EXPECT_EQ(w.artist(), m("Author"));
    EXPECT_EQ(w.album(), m("WM/AlbumTitle"));
    EXPECT_EQ(w.genre(), m("WM/Genre"));
    // Differences on purpose: only "WM/Description" and "WM/Year" feed the
    // comment and the year; this encoder writes "Description" and "date".
    EXPECT_EQ(m("Description"), "WMA Comment");
    EXPECT_EQ(w.comment(), "");
    EXPECT_EQ(m("date"), "1999");
    EXPECT_EQ(w.year(), "");
}
