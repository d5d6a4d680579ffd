// The shape every media reader shares: a file reads as its bytes do, a file
// that cannot be opened fails and leaves the reader reset, and the technical
// data come in one set of units whatever each format's own accessors use.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>

#include "mediainfo/AACfile.h"
#include "mediainfo/APETag.h"
#include "mediainfo/ID3v1.h"
#include "mediainfo/ID3v2.h"
#include "mediainfo/MPEGaudio.h"
#include "mediainfo/OggVorbis.h"
#include "mediainfo/WAVfile.h"
#include "mediainfo/WMAfile.h"
#include "tests/headers/HeaderFixtures.h"

using namespace mediainfo;
using namespace headertest;

namespace {

std::string tagFixture(const std::string& name) {
    return std::string(QUILLET_FIXTURES) + "/media/tags/" + name;
}

struct ReaderCase {
    const char* what;
    std::string file;
    bool titled;  // the fixture carries a title this reader reads
    std::function<std::unique_ptr<TMediaReader>()> make;
};

template <class Reader>
std::function<std::unique_ptr<TMediaReader>()> maker() {
    return [] { return std::make_unique<Reader>(); };
}

const std::vector<ReaderCase>& readerCases() {
    static const std::vector<ReaderCase> cases = {
        {"ID3v1", tagFixture("v11-gbk.mp3"), true, maker<TID3v1>()},
        {"ID3v2", tagFixture("v23-utf16-lame.mp3"), true, maker<TID3v2>()},
        {"APE", tagFixture("ape-before-id3v1.mp3"), true, maker<TAPETag>()},
        {"MPEG", fixture("id3-both.mp3"), true, maker<TMPEGaudio>()},
        {"Ogg", fixture("id3-vorbis.ogg"), true, maker<TOggVorbis>()},
        {"AAC", fixture("adts.aac"), false, maker<TAACfile>()},
        {"WMA", fixture("wma.wma"), true, maker<TWMAfile>()},
        {"WAV", fixture("pcm16.wav"), false, maker<TWAVfile>()},
    };
    return cases;
}

const TStreamHeaderReader* header(const TMediaReader& r) {
    return dynamic_cast<const TStreamHeaderReader*>(&r);
}

}  // namespace

TEST(MediaReader, AFileReadsAsItsBytesAndAFileThatCannotBeOpenedLeavesTheReaderReset) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    for (const ReaderCase& c : readerCases()) {
        SCOPED_TRACE(c.what);
        const auto fromFile = c.make();
        const auto fromBytes = c.make();
        const std::string bytes = fileBytes(c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        MemorySource src(bytes);
        ASSERT_TRUE(fromFile->ReadFromFile(c.file));
        ASSERT_TRUE(fromBytes->ReadFromSource(src));
        EXPECT_EQ(fromFile->tagFields().title.empty(), !c.titled);
        EXPECT_EQ(fromFile->tagFields(), fromBytes->tagFields());
        if (const TStreamHeaderReader* h = header(*fromFile)) {
            EXPECT_TRUE(h->valid());
            EXPECT_EQ(h->audioProperties(), header(*fromBytes)->audioProperties());
        }

        // Neither a missing file nor a folder is read; what the last file
        // gave is gone.
        const auto fresh = c.make();
        for (const std::string& bad : {c.file + ".missing", folder}) {
            EXPECT_FALSE(fromFile->ReadFromFile(bad)) << bad;
            EXPECT_EQ(fromFile->tagFields(), fresh->tagFields());
            if (const TStreamHeaderReader* h = header(*fromFile)) {
                EXPECT_FALSE(h->valid());
                EXPECT_EQ(h->audioProperties(), TAudioProperties());
            }
        }
    }
}

TEST(MediaReader, AudioPropertiesShareOneSetOfUnits) {
    // Bytes, Hz, kbit/s, rounded milliseconds, channels: the AAC reader's own
    // bit rate is in bit/s, its and the others' durations in seconds.
    struct Case {
        const char* what;
        std::string file;
        std::function<std::unique_ptr<TStreamHeaderReader>()> make;
        TAudioProperties expected;
    };
    const Case cases[] = {
        {"AAC",
         fixture("adts.aac"),
         [] { return std::make_unique<TAACfile>(); },
         {21161, 22050, 33, 5062, 1}},
        {"WMA", fixture("wma.wma"), [] { return std::make_unique<TWMAfile>(); }, {20122, 22050, 32, 5031, 1}},
        {"Ogg",
         fixture("vorbis.ogg"),
         [] { return std::make_unique<TOggVorbis>(); },
         {10296, 22050, 16, 5000, 1}},
        {"WAV",
         fixture("pcm8-stereo.wav"),
         [] { return std::make_unique<TWAVfile>(); },
         {32044, 8000, 128, 2000, 2}},
        {"MPEG",
         fixture("vbri.mp3"),
         [] { return std::make_unique<TMPEGaudio>(); },
         {12528, 32000, 49, 2052, 2}},
        {"MPEG mono",
         fixture("mpeg1-l2.mp2"),
         [] { return std::make_unique<TMPEGaudio>(); },
         {32256, 32000, 64, 4032, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto reader = c.make();
        ASSERT_TRUE(reader->ReadFromFile(c.file));
        ASSERT_TRUE(reader->valid());
        const TAudioProperties p = reader->audioProperties();
        EXPECT_EQ(p, c.expected);
        EXPECT_EQ(p.fileSize, std::filesystem::file_size(c.file));
    }
    TAACfile aac;
    ASSERT_TRUE(aac.ReadFromFile(fixture("adts.aac")));
    EXPECT_EQ(aac.audioProperties().bitRate, static_cast<uint32_t>(aac.bitRate() / 1000));
    EXPECT_EQ(aac.audioProperties().duration, static_cast<uint32_t>(std::lround(aac.duration() * 1000)));
}

TEST(MediaReader, TagFieldsOfTheReadersThatOwnTwoID3Tags) {
    // The ID3v1 tag wins over the ID3v2 tag; the ID3v2 tag stands in when
    // there is no ID3v1 tag.
    TMPEGaudio both;
    ASSERT_TRUE(both.ReadFromFile(fixture("id3-both.mp3")));
    ASSERT_TRUE(both.id3v1().exists() && both.id3v2().exists());
    EXPECT_EQ(both.tagFields(), both.id3v1().tagFields());
    EXPECT_NE(both.tagFields(), both.id3v2().tagFields());

    TMPEGaudio v2only;
    ASSERT_TRUE(v2only.ReadFromFile(tagFixture("v23-utf16-lame.mp3")));
    ASSERT_FALSE(v2only.id3v1().exists());
    EXPECT_EQ(v2only.tagFields(), v2only.id3v2().tagFields());
    EXPECT_NE(v2only.tagFields().title, "");

    TAACfile untagged;
    ASSERT_TRUE(untagged.ReadFromFile(fixture("adts.aac")));
    EXPECT_EQ(untagged.tagFields(), TTagFields());
}

TEST(MediaReader, ApeItemsGiveTheTagFields) {
    // Keys in any case, GBK bytes decoded, the track before its "/".
    auto item = [](const std::string& name, const std::string& value) {
        return le32(uint32_t(value.size())) + le32(0) + name + std::string(1, '\0') + value;
    };
    const std::string items = item("TITLE", "\xB2\xE2\xCA\xD4") + item("artist", "Someone") +
                              item("Album", "Record") + item("Year", "1999") + item("Genre", "Pop") +
                              item("Comment", "Fine") + item("Track", "3/12");
    const std::string bytes = std::string(64, '\xFF') + items + "APETAGEX" + le32(2000) +
                              le32(uint32_t(items.size() + 32)) + le32(7) + le32(0) + std::string(8, '\0');
    MemorySource src(bytes);
    TAPETag ape;
    ASSERT_TRUE(ape.ReadFromSource(src));
    TTagFields expected;
    expected.title = "测试";
    expected.artist = "Someone";
    expected.album = "Record";
    expected.year = "1999";
    expected.genre = "Pop";
    expected.comment = "Fine";
    expected.track = 3;
    EXPECT_EQ(ape.tagFields(), expected);
}

TEST(MediaReader, MillisecondsAreRoundedAndKeptInRange) {
    const struct {
        double seconds;
        uint32_t ms;
    } cases[] = {
        {0.0, 0},
        {-1.0, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {1.2344, 1234},
        {1.2345, 1235},
        {4294967.2945, 4294967295u},
        {1e12, 4294967295u},
        {std::numeric_limits<double>::infinity(), 4294967295u},
    };
    for (const auto& c : cases) EXPECT_EQ(millisecondsOf(c.seconds), c.ms) << c.seconds;
    EXPECT_EQ(clampToU32(-5), 0u);
    EXPECT_EQ(clampToU32(int64_t{1} << 40), 4294967295u);
    EXPECT_EQ(clampToU32(77), 77u);
}
