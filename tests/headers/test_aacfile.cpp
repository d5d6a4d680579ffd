#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mediainfo/AACfile.h"
#include "tests/headers/HeaderFixtures.h"

using namespace mediainfo;
using namespace headertest;

namespace {

// Writes fields most significant bit first.
class BitWriter {
  public:
    BitWriter& put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) m_bits.push_back((value >> i) & 1);
        return *this;
    }
    std::string bytes() const {
        std::string out((m_bits.size() + 7) / 8, '\0');
        for (size_t i = 0; i < m_bits.size(); ++i)
            if (m_bits[i]) out[i / 8] = char(out[i / 8] | (0x80 >> (i % 8)));
        return out;
    }

  private:
    std::vector<int> m_bits;
};

// One ADTS frame (ISO/IEC 13818-7 adts_fixed_header + adts_variable_header)
// of `length` bytes in all.
std::string adtsFrame(uint32_t length, bool mpeg2, uint8_t profile, uint8_t rateIndex, uint8_t channels,
                      uint32_t fullness) {
    BitWriter w;
    w.put(0xFFF, 12).put(mpeg2, 1).put(0, 2).put(1, 1).put(profile, 2).put(rateIndex, 4).put(0, 1);
    w.put(channels, 3).put(0, 4).put(length, 13).put(fullness, 11).put(0, 2);
    std::string f = w.bytes();
    return f + std::string(length > 7 ? length - 7 : 0, '\x11');
}

// Room at the end so the APE reader finds no tag but has its 32 bytes.
const std::string kTail(64, '\0');

TAACfile read(const std::string& bytes, bool* ok = nullptr) {
    TAACfile a;
    MemorySource src(bytes);
    const bool result = a.ReadFromSource(src);
    if (ok) *ok = result;
    return a;
}

}  // namespace

TEST(AACfile, ConstantRateAdtsIsMeasuredByItsFirstFrame) {
    std::string bytes = adtsFrame(372, false, 1, 4, 2, 0x100);
    bytes += adtsFrame(500, false, 1, 4, 2, 0x100) + kTail;
    const TAACfile a = read(bytes);
    EXPECT_EQ(a.headerTypeID(), TAACfile::kHeaderADTS);
    EXPECT_EQ(a.headerType(), "ADTS");
    EXPECT_EQ(a.mpegVersion(), "MPEG-4");
    EXPECT_EQ(a.profile(), "LC");
    EXPECT_EQ(a.bitRateType(), "CBR");
    EXPECT_EQ(a.sampleRate(), 44100);
    EXPECT_EQ(a.channels(), 2);
    EXPECT_EQ(a.frames(), 1);
    EXPECT_EQ(a.bitRate(), 128166);  // round(44100 * 372 * 8 / 1024)
    EXPECT_TRUE(a.valid());
    EXPECT_DOUBLE_EQ(a.duration(), bytes.size() * 8.0 / 128166);
}

TEST(AACfile, VariableRateAdtsWalksEveryFrameWithTheLengthAtBit30) {
    // MPEG-4 and MPEG-2 headers alike carry the frame length at bit 30.
    for (bool mpeg2 : {false, true}) {
        std::string bytes;
        uint32_t total = 0;
        for (uint32_t length : {300u, 200u, 250u, 310u}) {
            bytes += adtsFrame(length, mpeg2, 0, 7, 1, 0x7FF);
            total += length;
        }
        const TAACfile a = read(bytes + kTail);
        EXPECT_EQ(a.frames(), 4) << mpeg2;
        EXPECT_EQ(a.mpegVersion(), mpeg2 ? "MPEG-2" : "MPEG-4");
        EXPECT_EQ(a.profile(), "Main");
        EXPECT_EQ(a.bitRateType(), "VBR");
        EXPECT_EQ(a.sampleRate(), 22050);
        EXPECT_EQ(a.bitRate(), std::lround(22050 * (total * 8.0 / 1024 / 4)));
    }
}

TEST(AACfile, AdtsFrameOfLengthZeroEndsTheWalk) {
    std::string bytes = adtsFrame(300, false, 1, 4, 2, 0x7FF) + adtsFrame(0, false, 1, 4, 2, 0x7FF);
    bytes += std::string(1000, '\0') + kTail;
    const TAACfile a = read(bytes);
    EXPECT_EQ(a.frames(), 1);
    EXPECT_EQ(a.bitRate(), std::lround(44100 * (300 * 8.0 / 1024)));
    // Lengths shorter than the header itself are no frame either.
    EXPECT_EQ(read(adtsFrame(6, false, 1, 4, 2, 0x7FF) + kTail).frames(), 0);
    EXPECT_FALSE(read(adtsFrame(6, false, 1, 4, 2, 0x7FF) + kTail).valid());
}

TEST(AACfile, AdtsAfterAnId3v2TagIsExaminedFromTheTagEnd) {
    const std::string tag = id3v2Tag(2048);
    const std::string bytes = tag + adtsFrame(372, false, 1, 4, 2, 0x100) + kTail;
    const TAACfile a = read(bytes);
    EXPECT_EQ(a.id3v2().size(), 2048);
    EXPECT_EQ(a.headerTypeID(), TAACfile::kHeaderADTS);
    EXPECT_EQ(a.bitRate(), 128166);
    EXPECT_DOUBLE_EQ(a.duration(), (bytes.size() - 2048) * 8.0 / 128166);
}

TEST(AACfile, AdifHeaderFields) {
    auto adif = [](bool copyright, bool vbr, uint32_t rate) {
        BitWriter w;
        w.put('A', 8).put('D', 8).put('I', 8).put('F', 8).put(copyright, 1);
        if (copyright) w.put(0x12345678, 32).put(0x12345678, 32).put(0xFF, 8);
        w.put(0, 2).put(vbr, 1).put(rate, 23).put(0, 4);
        if (!vbr) w.put(0, 20);
        w.put(0, 4).put(3, 2).put(3, 4);            // tag, object type 3 (LTP), 48000 Hz
        w.put(2, 4).put(1, 4).put(1, 4).put(1, 2);  // front, side, back, lfe elements
        return w.bytes() + std::string(100, '\0') + kTail;
    };
    for (bool copyright : {false, true}) {
        for (bool vbr : {false, true}) {
            SCOPED_TRACE(testing::Message() << copyright << vbr);
            const std::string bytes = adif(copyright, vbr, 96000);
            const TAACfile a = read(bytes);
            EXPECT_EQ(a.headerType(), "ADIF");
            EXPECT_EQ(a.bitRateType(), vbr ? "VBR" : "CBR");
            EXPECT_EQ(a.bitRate(), 96000);
            EXPECT_EQ(a.mpegVersion(), "MPEG-4");
            EXPECT_EQ(a.profile(), "LTP");
            EXPECT_EQ(a.sampleRate(), 48000);
            EXPECT_EQ(a.channels(), 5);
            EXPECT_DOUBLE_EQ(a.duration(), bytes.size() * 8.0 / 96000);
        }
    }
}

TEST(AACfile, UnknownOrTooShortFiles) {
    bool ok = false;
    const TAACfile none = read(std::string(200, 'x'), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(none.headerType(), "Unknown");
    EXPECT_FALSE(none.valid());
    EXPECT_EQ(none.duration(), 0.0);
    // Too short for an APE footer: the APE reader, and with it this one, fails.
    read(adtsFrame(20, false, 1, 4, 2, 0x100).substr(0, 20) + "1234567890", &ok);
    EXPECT_FALSE(ok);
    TAACfile a;
    EXPECT_FALSE(a.ReadFromFile(fixture("no-such-file.aac")));
}

TEST(AACfile, FixturesAgreeWithFfprobe) {
    TAACfile a;
    ASSERT_TRUE(a.ReadFromFile(fixture("adts.aac")));
    EXPECT_TRUE(a.valid());
    EXPECT_EQ(a.headerType(), "ADTS");
    EXPECT_EQ(a.profile(), "LC");
    EXPECT_EQ(a.sampleRate(), 22050);
    EXPECT_EQ(a.channels(), 1);
    EXPECT_EQ(a.bitRateType(), "VBR");
    const double expected = ffprobeDuration("adts.aac");
    ASSERT_GT(expected, 0);
    EXPECT_NEAR(a.duration(), expected, expected * 0.01);
    EXPECT_EQ(a.frames(), std::lround(expected * 22050 / 1024));

    ASSERT_TRUE(a.ReadFromFile(fixture("adif.aac")));
    EXPECT_TRUE(a.valid());
    EXPECT_EQ(a.headerType(), "ADIF");
    EXPECT_EQ(a.bitRate(), 96000);
    EXPECT_EQ(a.sampleRate(), 44100);
    EXPECT_EQ(a.channels(), 1);
    EXPECT_EQ(a.profile(), "LC");
    EXPECT_DOUBLE_EQ(a.duration(), 12000 * 8.0 / 96000);
}
