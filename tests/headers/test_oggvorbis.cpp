#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mediainfo/OggVorbis.h"
#include "tests/headers/HeaderFixtures.h"

using namespace mediainfo;
using namespace headertest;

namespace {

// One Ogg page (RFC 3533) holding `payload`; the checksum is not checked by
// the reader and left 0.
std::string page(uint64_t granule, uint32_t serial, uint32_t sequence, const std::string& payload,
                 uint8_t flags = 0) {
    std::string lacing(payload.size() / 255, '\xFF');
    lacing += char(payload.size() % 255);
    std::string p = "OggS";
    p += '\0';
    p += char(flags);
    p += le64(granule) + le32(serial) + le32(sequence) + le32(0);
    p += char(lacing.size());
    return p + lacing + payload;
}

std::string identification(uint8_t channels, uint32_t rate, uint32_t nominal) {
    return "\x01vorbis" + le32(0) + std::string(1, char(channels)) + le32(rate) + le32(0) + le32(nominal) +
           le32(0) + "\xB8\x01";
}

std::string comments(const std::string& vendor, const std::vector<std::string>& entries) {
    std::string c = "\x03vorbis" + le32(uint32_t(vendor.size())) + vendor + le32(uint32_t(entries.size()));
    for (const auto& e : entries) c += le32(uint32_t(e.size())) + e;
    return c + "\x01";
}

struct Stream {
    uint8_t channels = 2;
    uint32_t rate = 44100;
    uint32_t nominal = 128000;
    std::vector<std::string> entries;
    uint64_t lastGranule = 441000;
    size_t audioBytes = 20000;
};

std::string oggFile(const Stream& s) {
    std::string f = page(0, 0x12345678, 0, identification(s.channels, s.rate, s.nominal), 2);
    f += page(0, 0x12345678, 1, comments("Xiph.Org libVorbis I 20200704", s.entries));
    f += std::string(s.audioBytes, '\x55');
    f += page(s.lastGranule, 0x12345678, 2, std::string(100, '\x33'), 4);
    return f;
}

TOggVorbis read(const std::string& bytes, bool* ok = nullptr) {
    TOggVorbis o;
    MemorySource src(bytes);
    const bool result = o.ReadFromSource(src);
    if (ok) *ok = result;
    return o;
}

}  // namespace

TEST(OggVorbis, IdentificationHeaderAndLastPageGiveTheLength) {
    const std::string bytes = oggFile(Stream{});
    bool ok = false;
    const TOggVorbis o = read(bytes, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(o.channels(), 2);
    EXPECT_EQ(o.sampleRate(), 44100);
    EXPECT_EQ(o.nominalBitRate(), 128);
    EXPECT_EQ(o.serialNumber(), 0x12345678);
    EXPECT_EQ(o.streamVersion(), 0);
    EXPECT_EQ(o.samples(), 441000);
    EXPECT_EQ(o.fileSize(), int64_t(bytes.size()));
    EXPECT_DOUBLE_EQ(o.duration(), 10.0);
    EXPECT_EQ(o.bitRate(), std::lround(bytes.size() / 10.0 / 125));
    EXPECT_TRUE(o.valid());
    EXPECT_EQ(o.vendor(), "Xiph.Org libVorbis I 20200704");
}

TEST(OggVorbis, CommentsFillTheKnownFields) {
    Stream s;
    s.entries = {"title=  Song  ",
                 "artist=",
                 "PERFORMER=Band",
                 "Album=Record",
                 "TRACKNUMBER=7/12",
                 "DATE=2001",
                 "GENRE=Rock",
                 "DESCRIPTION=desc",
                 "COMPOSER=Comp",
                 "LYRICS=la la",
                 "URL=http://x",
                 "COPYRIGHT=(c)",
                 "REPLAYGAIN_TRACK_GAIN=-3.20 dB",
                 "mood=calm",
                 "GENRE=Jazz",
                 "\xE4\xB8\xAD=\xE6\x96\x87"};
    const TOggVorbis o = read(oggFile(s));
    EXPECT_EQ(o.title(), "Song");
    EXPECT_EQ(o.artist(), "Band");  // ARTIST empty: the performer
    EXPECT_EQ(o.album(), "Record");
    EXPECT_EQ(o.track(), 7);
    EXPECT_EQ(o.date(), "2001");
    EXPECT_EQ(o.genre(), "Jazz");    // a later comment replaces an earlier one
    EXPECT_EQ(o.comment(), "desc");  // COMMENT absent: the description
    EXPECT_EQ(o.composer(), "Comp");
    EXPECT_EQ(o.lyrics(), "la la");
    EXPECT_EQ(o.link(), "http://x");
    EXPECT_EQ(o.rightsNotice(), "(c)");
    const std::string zero(1, '\0');
    EXPECT_EQ(o.otherComments(),
              "REPLAYGAIN_TRACK_GAIN=-3.20 dB" + zero + "MOOD=calm" + zero + "\xE4\xB8\xAD=\xE6\x96\x87");

    s.entries = {"ARTIST=Main", "PERFORMER=Band", "COMMENT=c", "DESCRIPTION=d", "TRACKNUMBER=x7"};
    const TOggVorbis o2 = read(oggFile(s));
    EXPECT_EQ(o2.artist(), "Main");
    EXPECT_EQ(o2.comment(), "c");
    EXPECT_EQ(o2.track(), 0);
    EXPECT_TRUE(o2.otherComments().empty());
}

TEST(OggVorbis, LongValuesAreCutAndTheNextCommentIsStillRead) {
    Stream s;
    s.entries = {"LYRICS=" + std::string(6000, 'a'), "TITLE=After"};
    const TOggVorbis o = read(oggFile(s));
    EXPECT_EQ(o.lyrics(), std::string(5000 - 7, 'a'));
    EXPECT_EQ(o.title(), "After");
}

TEST(OggVorbis, TruncatedCommentListKeepsWhatWasRead) {
    Stream s;
    s.entries = {"TITLE=First", "ARTIST=" + std::string(400, 'b')};
    std::string bytes = oggFile(s);
    bytes.resize(bytes.find("ARTIST=") + 20);
    bool ok = false;
    const TOggVorbis o = read(bytes, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(o.title(), "First");
    EXPECT_EQ(o.artist(), std::string(13, 'b'));
}

TEST(OggVorbis, LeadingId3v2TagIsSkippedAndSubtracted) {
    const std::string ogg = oggFile(Stream{});
    const std::string bytes = id3v2Tag(1034) + ogg;
    const TOggVorbis o = read(bytes);
    EXPECT_EQ(o.id3v2Size(), 1034);
    EXPECT_EQ(o.channels(), 2);
    EXPECT_EQ(o.bitRate(), std::lround(ogg.size() / 10.0 / 125));

    // Without a last page within reach the nominal bit rate estimates the
    // length, over the bytes after the tag.
    Stream far;
    far.audioBytes = 51 * 4991 + 100;
    std::string farOgg = oggFile(far);
    farOgg.resize(farOgg.size() - 128);  // the last page is gone; 50 blocks of junk remain
    const TOggVorbis est = read(id3v2Tag(1034) + farOgg);
    EXPECT_EQ(est.samples(), 0);
    EXPECT_DOUBLE_EQ(est.duration(), double(farOgg.size()) / 128 / 2 / 125 * 2);
}

TEST(OggVorbis, LastPageBeyondFiftyBlocksIsNotFound) {
    Stream s;
    s.audioBytes = 0;
    std::string bytes = oggFile(s);
    bytes += std::string(50 * 4991 + 100, '\0');
    const TOggVorbis o = read(bytes);
    EXPECT_EQ(o.samples(), 0);
    EXPECT_DOUBLE_EQ(o.duration(), double(bytes.size()) / 128 / 2 / 125 * 2);
    bytes.resize(bytes.size() - 400);
    EXPECT_EQ(read(bytes).samples(), 441000);
}

TEST(OggVorbis, ValidityNeedsOneTwoOrSixChannels) {
    for (uint8_t channels : {1, 2, 6}) {
        Stream s;
        s.channels = channels;
        EXPECT_TRUE(read(oggFile(s)).valid()) << int(channels);
    }
    for (uint8_t channels : {0, 3, 5, 7}) {
        Stream s;
        s.channels = channels;
        EXPECT_FALSE(read(oggFile(s)).valid()) << int(channels);
    }
    Stream tooShort;
    tooShort.lastGranule = 4000;  // 0.09 s
    EXPECT_FALSE(read(oggFile(tooShort)).valid());
}

TEST(OggVorbis, NonVorbisDataFailsAndStaysReset) {
    bool ok = true;
    std::string bytes = oggFile(Stream{});
    bytes[0] = 'X';
    const TOggVorbis notOgg = read(bytes, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(notOgg.fileSize(), 0);

    std::string opus = oggFile(Stream{});
    opus.replace(28, 7, "OpusHea");
    const TOggVorbis o = read(opus, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(o.channels(), 0);
    EXPECT_EQ(o.samples(), 0);

    EXPECT_FALSE(read(std::string(20, '\0'), &ok).valid());
    EXPECT_FALSE(ok);
}

TEST(OggVorbis, FixturesAgreeWithFfprobe) {
    for (const char* name : {"vorbis.ogg", "id3-vorbis.ogg"}) {
        SCOPED_TRACE(name);
        TOggVorbis o;
        ASSERT_TRUE(o.ReadFromFile(fixture(name)));
        EXPECT_TRUE(o.valid());
        const double expected = ffprobeDuration("vorbis.ogg");
        ASSERT_GT(expected, 0);
        EXPECT_NEAR(o.duration(), expected, expected * 0.01);
        EXPECT_EQ(o.channels(), 1);
        EXPECT_EQ(o.sampleRate(), 22050);
        EXPECT_EQ(o.title(), "Ogg Title");
        EXPECT_EQ(o.artist(), "Ogg Artist");
        EXPECT_EQ(o.album(), "Ogg Album");
        EXPECT_EQ(o.track(), 7);
        EXPECT_EQ(o.date(), "2001");
        EXPECT_EQ(o.genre(), "Rock");
        EXPECT_EQ(o.comment(), "hello");
        EXPECT_EQ(o.otherComments(), "REPLAYGAIN_TRACK_GAIN=-3.20 dB");
    }
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(fixture("id3-vorbis.ogg")));
    EXPECT_EQ(o.id3v2Size(), 1034);
}

TEST(OggVorbis, CommentsAgreeWithMutagen) {
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(fixture("vorbis.ogg")));
    const auto m = [](const char* field) { return mutagenField("vorbis.ogg", field).value_or("<none>"); };
    EXPECT_EQ(o.title(), m("title"));
    EXPECT_EQ(o.artist(), m("artist"));
    EXPECT_EQ(o.album(), m("album"));
    EXPECT_EQ(o.date(), m("date"));
    EXPECT_EQ(o.genre(), m("genre"));
    EXPECT_EQ(o.comment(), m("comment"));
    EXPECT_EQ(o.vendor(), m("VENDOR"));
    // The track is the number before the "/" of the whole "7/12".
    EXPECT_EQ(std::to_string(o.track()), m("tracknumber").substr(0, m("tracknumber").find('/')));
    // Unknown names are kept upper-cased as NAME=value (mutagen folds them to
    // lower case).
    EXPECT_EQ(o.otherComments(), "REPLAYGAIN_TRACK_GAIN=" + m("replaygain_track_gain"));
}
