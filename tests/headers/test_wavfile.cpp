#include <gtest/gtest.h>

#include "mediainfo/WAVfile.h"
#include "tests/headers/HeaderFixtures.h"

using namespace mediainfo;
using namespace headertest;

namespace {

// A canonical 44-byte header followed by `dataBytes` bytes of samples.
std::string wav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes,
                uint32_t riffSize = 0) {
    std::string h = "RIFF" + le32(riffSize ? riffSize : 36 + dataBytes) + "WAVE";
    h += "fmt " + le32(16) + le16(tag) + le16(channels) + le32(rate);
    h += le32(rate * channels * bits / 8) + le16(uint16_t(channels * bits / 8)) + le16(bits);
    h += "data" + le32(dataBytes);
    return h + std::string(dataBytes, '\0');
}

// A WAVE_FORMAT_EXTENSIBLE header (40-byte fmt chunk) with the sub-format
// whose first two bytes are `subTag`.
std::string extensible(uint16_t subTag, uint16_t bits, uint32_t dataBytes) {
    std::string h = "RIFF" + le32(60 - 8 + dataBytes) + "WAVE";
    h += "fmt " + le32(40) + le16(0xFFFE) + le16(2) + le32(48000) + le32(48000 * 2 * bits / 8);
    h += le16(uint16_t(2 * bits / 8)) + le16(bits) + le16(22) + le16(bits) + le32(3);
    h += le16(subTag) + std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    h += "data" + le32(dataBytes);
    return h + std::string(dataBytes, '\0');
}

TWAVfile read(const std::string& bytes, bool* ok = nullptr) {
    TWAVfile w;
    MemorySource src(bytes);
    const bool result = w.ReadFromSource(src);
    if (ok) *ok = result;
    return w;
}

}  // namespace

TEST(WAVfile, CanonicalHeaderFieldsAndDuration) {
    const TWAVfile w = read(wav(1, 2, 44100, 16, 176400));
    EXPECT_TRUE(w.valid());
    EXPECT_EQ(w.channels(), 2);
    EXPECT_EQ(w.sampleRate(), 44100u);
    EXPECT_EQ(w.bitsPerSample(), 16);
    EXPECT_EQ(w.fileSize(), 176444);
    EXPECT_DOUBLE_EQ(w.duration(), 1.0);
}

TEST(WAVfile, AcceptsPcmAdpcmAndExtensiblePcmOnly) {
    EXPECT_TRUE(read(wav(1, 1, 8000, 8, 8000)).valid());
    EXPECT_TRUE(read(wav(2, 1, 8000, 4, 4000)).valid());
    EXPECT_FALSE(read(wav(3, 1, 8000, 32, 32000)).valid());   // IEEE float
    EXPECT_FALSE(read(wav(0x55, 1, 8000, 0, 1000)).valid());  // MP3 in RIFF

    const TWAVfile ext = read(extensible(1, 24, 288000));
    EXPECT_TRUE(ext.valid());
    EXPECT_EQ(ext.bitsPerSample(), 24);
    EXPECT_EQ(ext.channels(), 2);
    EXPECT_FALSE(read(extensible(3, 32, 1000)).valid());  // extensible float

    std::string shortFmt = extensible(1, 24, 1000);
    shortFmt.replace(16, 4, le32(16));  // a fmt chunk too short to hold a sub-format
    EXPECT_FALSE(read(shortFmt).valid());
    std::string badGuid = extensible(1, 24, 1000);
    badGuid[50] = 'x';
    EXPECT_FALSE(read(badGuid).valid());
}

TEST(WAVfile, OtherFilesAreReadButNotValid) {
    bool ok = false;
    std::string notRiff = wav(1, 1, 8000, 8, 100);
    notRiff.replace(0, 4, "RIFX");
    EXPECT_FALSE(read(notRiff, &ok).valid());
    EXPECT_TRUE(ok);
    std::string noFmt = wav(1, 1, 8000, 8, 100);
    noFmt.replace(12, 4, "LIST");
    const TWAVfile w = read(noFmt, &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(w.valid());
    EXPECT_EQ(w.channels(), 0);
    EXPECT_EQ(w.duration(), 0.0);
}

TEST(WAVfile, FewerThan44BytesFail) {
    bool ok = true;
    read(wav(1, 1, 8000, 8, 0).substr(0, 43), &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(read(wav(1, 1, 8000, 8, 0), &ok).valid());
    EXPECT_TRUE(ok);
    TWAVfile w;
    EXPECT_FALSE(w.ReadFromFile(fixture("no-such-file.wav")));
}

TEST(WAVfile, ZeroRateBitsOrChannelsGiveZeroDuration) {
    for (const auto& bytes : {wav(1, 2, 0, 16, 1000), wav(1, 2, 8000, 0, 1000), wav(1, 0, 8000, 16, 1000)}) {
        const TWAVfile w = read(bytes);
        EXPECT_TRUE(w.valid());
        EXPECT_EQ(w.duration(), 0.0);
    }
    const TWAVfile fixtureFile = [] {
        TWAVfile w;
        EXPECT_TRUE(w.ReadFromFile(fixture("zero-samplerate.wav")));
        return w;
    }();
    EXPECT_EQ(fixtureFile.sampleRate(), 0u);
    EXPECT_EQ(fixtureFile.duration(), 0.0);
}

TEST(WAVfile, RiffSizeBeyondTheFileCountsOnlyTheBytesThere) {
    const TWAVfile w = read(wav(1, 1, 8000, 16, 16000, 0xFFFFFFFF));
    EXPECT_EQ(w.fileSize(), 16044);
    EXPECT_DOUBLE_EQ(w.duration(), 1.0);
    // A RIFF size shorter than the file (chunks after the data) is taken as stated.
    const TWAVfile trailing = read(wav(1, 1, 8000, 16, 16000, 36 + 8000));
    EXPECT_EQ(trailing.fileSize(), 8044);
}

TEST(WAVfile, SampleRatesAbove65535AreKept) {
    const TWAVfile w = read(wav(1, 2, 96000, 24, 576000));
    EXPECT_EQ(w.sampleRate(), 96000u);
    EXPECT_DOUBLE_EQ(w.duration(), 1.0);
}

TEST(WAVfile, FixturesAgreeWithFfprobe) {
    for (const char* name :
         {"pcm16.wav", "pcm8-stereo.wav", "pcm24-extensible.wav", "riff-size-ffffffff.wav"}) {
        SCOPED_TRACE(name);
        TWAVfile w;
        ASSERT_TRUE(w.ReadFromFile(fixture(name)));
        EXPECT_TRUE(w.valid());
        const double expected = ffprobeDuration(name);
        ASSERT_GT(expected, 0);
        EXPECT_NEAR(w.duration(), expected, expected * 0.01);
    }
    TWAVfile w;
    ASSERT_TRUE(w.ReadFromFile(fixture("pcm24-extensible.wav")));
    EXPECT_EQ(w.bitsPerSample(), 24);
    ASSERT_TRUE(w.ReadFromFile(fixture("float.wav")));
    EXPECT_FALSE(w.valid());
    EXPECT_EQ(w.duration(), 0.0);
}

TEST(WAVfile, ChunksBeforeTheDataCountAsSamples) {
    // The duration assumes the samples start at byte 44, so a LIST chunk in
    // front of the data is measured as audio.
    TWAVfile w;
    ASSERT_TRUE(w.ReadFromFile(fixture("list-chunk.wav")));
    ASSERT_TRUE(w.valid());
    const double size = static_cast<double>(fileBytes(fixture("list-chunk.wav")).size());
    EXPECT_DOUBLE_EQ(w.duration(), (size - 44) * 8 / 8000 / 16 / 1);
    EXPECT_GT(w.duration(), ffprobeDuration("list-chunk.wav"));
}
