#include <gtest/gtest.h>

#include <cmath>

#include "mediainfo/MPEGaudio.h"
#include "tests/headers/HeaderFixtures.h"

using namespace mediainfo;
using namespace headertest;

namespace {

// MPEG-1 layer III, no CRC; 128 kbit/s, 44100 Hz; joint stereo, original.
const std::string kMpeg1L3_128("\xFF\xFB\x90\x64", 4);
// MPEG-1 layer III, 64 kbit/s, 44100 Hz, stereo: 208-byte frames.
const std::string kMpeg1L3_64("\xFF\xFB\x50\x00", 4);

// `count` frames of `length` bytes: the header, then filler bytes.
std::string frames(const std::string& header, size_t length, size_t count, char fill = '\x5A') {
    std::string f = header + std::string(length - 4, fill);
    std::string out;
    for (size_t i = 0; i < count; ++i) out += f;
    return out;
}

TMPEGaudio read(const std::string& bytes, bool* ok = nullptr) {
    TMPEGaudio m;
    MemorySource src(bytes);
    const bool result = m.ReadFromSource(src);
    if (ok) *ok = result;
    return m;
}

// A stream whose first frame carries `tag` at `offset` from the frame start.
std::string withHeaderAt(const std::string& header, size_t length, size_t offset, const std::string& tag,
                         size_t count = 50) {
    std::string s = frames(header, length, count);
    s.replace(offset, tag.size(), tag);
    return s;
}

std::string xing(uint32_t frameCount, uint32_t byteCount) {
    std::string x = "Xing" + be32(15) + be32(frameCount) + be32(byteCount) + std::string(100, '\0');
    x += std::string("\0\0\0", 3) + char(57);  // quality
    return x + "LAME3.99";
}

std::string vbri(uint32_t frameCount, uint32_t byteCount) {
    return "VBRI" + std::string("\0\x01\x04\x50\0", 5) + char(75) + be32(byteCount) + be32(frameCount);
}

}  // namespace

TEST(MPEGaudio, FrameHeaderFieldsAndLength) {
    const std::string bytes = frames(kMpeg1L3_128, 417, 100);
    bool ok = false;
    const TMPEGaudio m = read(bytes, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(m.frame().found);
    EXPECT_EQ(m.frame().size, 417);
    EXPECT_EQ(m.frame().position, 0);
    EXPECT_FALSE(m.frame().empty);
    EXPECT_EQ(m.versionText(), "MPEG 1");
    EXPECT_EQ(m.layerText(), "Layer III");
    EXPECT_EQ(m.channelModeText(), "Joint Stereo");
    EXPECT_EQ(m.emphasisText(), "None");
    EXPECT_EQ(m.frame().modeExtensionID, 2);
    EXPECT_TRUE(m.frame().original);
    EXPECT_FALSE(m.frame().copyright);
    EXPECT_FALSE(m.frame().protection);
    EXPECT_EQ(m.sampleRate(), 44100);
    EXPECT_EQ(m.bitRate(), 128);
    EXPECT_EQ(m.frameCount(), 100);
    EXPECT_DOUBLE_EQ(m.duration(), 41700 * 8.0 / 128000);
    EXPECT_TRUE(m.valid());
    EXPECT_FALSE(m.vbr().found);
    EXPECT_EQ(m.audioStart(), 0);
    EXPECT_EQ(m.audioEnd(), 41700);

    // With the padding bit every frame is one byte longer.
    const TMPEGaudio padded = read(frames("\xFF\xFB\x92\x64", 418, 100, '\0'));
    EXPECT_EQ(padded.frame().size, 418);
    EXPECT_TRUE(padded.frame().empty);
    EXPECT_TRUE(padded.frame().padding);
}

TEST(MPEGaudio, InvalidHeadersAreNeverAccepted) {
    const char* bad[] = {
        "\xFF\xFB\x00\x64",  // free format (bit-rate index 0)
        "\xFF\xFB\xF0\x64",  // bit-rate index 15
        "\xFF\xEB\x90\x64",  // reserved version
        "\xFF\xF9\x90\x64",  // reserved layer
        "\xFF\xFB\x9C\x64",  // sample-rate index 3
        "\xFF\xFB\x90\x66",  // emphasis 2
        "\xFF\xDB\x90\x64",  // sync too short
    };
    for (const char* header : bad) {
        bool ok = false;
        const TMPEGaudio m = read(frames(std::string(header, 4), 417, 20), &ok);
        EXPECT_TRUE(ok);
        EXPECT_FALSE(m.frame().found);
        EXPECT_FALSE(m.valid());
        // Not found: the object is in its unread state.
        EXPECT_EQ(m.versionText(), "MPEG ?");
        EXPECT_EQ(m.channelModeText(), "Unknown");
        EXPECT_EQ(m.emphasisText(), "Unknown");
        EXPECT_EQ(m.fileLength(), 0);
        EXPECT_EQ(m.duration(), 0.0);
    }
}

TEST(MPEGaudio, SuccessorHeaderMustLieWithinTheBlock) {
    // MPEG-1 layer II, 384 kbit/s, 32000 Hz, mono: 1728-byte frames.
    const std::string l2("\xFF\xFD\xE8\xC0", 4);
    // First header at 1726: its successor ends exactly at the block's end.
    const TMPEGaudio fits = read(std::string(1726, '\0') + frames(l2, 1728, 8));
    ASSERT_TRUE(fits.frame().found);
    EXPECT_EQ(fits.audioStart(), 1726);
    EXPECT_EQ(fits.layerText(), "Layer II");

    // First header at 1729: its successor crosses into the next block, and so
    // does the pair in the second block; the third block finds one.
    const TMPEGaudio crossing = read(std::string(1729, '\0') + frames(l2, 1728, 8));
    ASSERT_TRUE(crossing.frame().found);
    EXPECT_EQ(crossing.audioStart(), 1729 + 4 * 1728);
    EXPECT_EQ(crossing.frame().position, 1729 + 4 * 1728);
}

TEST(MPEGaudio, XingHeaderGivesFramesBytesAndRate) {
    // MPEG-1 stereo: the header stands 36 bytes after the frame start.
    const TMPEGaudio m = read(withHeaderAt(kMpeg1L3_128, 417, 36, xing(1000, 401000)));
    ASSERT_TRUE(m.vbr().found);
    EXPECT_EQ(m.vbr().id, "Xing");
    EXPECT_EQ(m.vbr().frames, 1000);
    EXPECT_EQ(m.vbr().bytes, 401000);
    EXPECT_EQ(m.vbr().scale, 57);
    EXPECT_EQ(m.vbr().vendorID, "LAME3.99");
    EXPECT_EQ(m.bitRate(), 123);  // round(401 * 44100 / 144 / 1000)
    EXPECT_EQ(m.frameCount(), 1000);
    EXPECT_DOUBLE_EQ(m.duration(), 144 * 1000 * 8.0 / 44100);

    // A Xing header stating no frames: the table rate and the byte length.
    const TMPEGaudio zero = read(withHeaderAt(kMpeg1L3_128, 417, 36, xing(0, 0)));
    EXPECT_TRUE(zero.vbr().found);
    EXPECT_EQ(zero.bitRate(), 128);
    EXPECT_DOUBLE_EQ(zero.duration(), 50 * 417 * 8.0 / 128000);

    // The side-information offset follows version and mode.
    const TMPEGaudio mono1 = read(withHeaderAt("\xFF\xFB\x90\xC4", 417, 21, xing(500, 200000)));
    EXPECT_TRUE(mono1.vbr().found);
    // MPEG-2 layer III, 64 kbit/s, 22050 Hz: 72 * 64000 / 22050 = 208 bytes.
    const TMPEGaudio mono2 = read(withHeaderAt("\xFF\xF3\x80\xC4", 208, 13, xing(500, 100000)));
    EXPECT_TRUE(mono2.vbr().found);
    EXPECT_DOUBLE_EQ(mono2.duration(), 72 * 500 * 8.0 / 22050);
    const TMPEGaudio stereo2 = read(withHeaderAt("\xFF\xF3\x80\x04", 208, 21, xing(500, 100000)));
    EXPECT_TRUE(stereo2.vbr().found);
    EXPECT_FALSE(read(withHeaderAt("\xFF\xF3\x80\x04", 208, 36, xing(500, 100000))).vbr().found);
}

TEST(MPEGaudio, VbriIsLookedForAtTheSameOffset) {
    const TMPEGaudio m1 = read(withHeaderAt(kMpeg1L3_128, 417, 36, vbri(800, 300000)));
    ASSERT_TRUE(m1.vbr().found);
    EXPECT_EQ(m1.vbr().id, "VBRI");
    EXPECT_EQ(m1.vbr().frames, 800);
    EXPECT_EQ(m1.vbr().bytes, 300000);
    EXPECT_EQ(m1.vbr().scale, 75);
    EXPECT_EQ(m1.frameCount(), 800);
    // MPEG-2 stereo reads offset 21: a VBRI header at 36 is not seen there.
    EXPECT_FALSE(read(withHeaderAt("\xFF\xF3\x80\x04", 208, 36, vbri(800, 300000))).vbr().found);
    EXPECT_TRUE(read(withHeaderAt("\xFF\xF3\x80\x04", 208, 21, vbri(800, 300000))).vbr().found);
}

TEST(MPEGaudio, EncoderSignatureNearTheBlockEndOrTheFileEnd) {
    // In the first block: within five frame lengths of its last window.
    std::string s = frames(kMpeg1L3_128, 417, 100);
    s.replace(3000, 9, "LAME3.100");
    EXPECT_EQ(read(s).vendorID(), "LAME3.10");
    std::string gogo = frames(kMpeg1L3_128, 417, 100);
    gogo.replace(3000, 4, "GOGO");
    EXPECT_EQ(read(gogo).vendorID(), "GOGO");
    std::string lower = frames(kMpeg1L3_128, 417, 100);
    lower.replace(3000, 9, "lame3.100");
    EXPECT_EQ(read(lower).vendorID(), "");
    // Below the search length (3450 - 5 * 417) it is not seen...
    std::string early = frames(kMpeg1L3_128, 417, 100);
    early.replace(1000, 9, "LAME3.100");
    EXPECT_EQ(read(early).vendorID(), "");
    // ...but the end of the file is searched too, before an ID3v1 tag.
    std::string tail = frames(kMpeg1L3_128, 417, 100);
    tail.replace(tail.size() - 500, 9, "LAME3.98r");
    EXPECT_EQ(read(tail).vendorID(), "LAME3.98");
}

TEST(MPEGaudio, ValidityNeedsAtLeastATenthOfASecond) {
    // 128 kbit/s: two frames are 0.052 s, four 0.104 s.
    EXPECT_FALSE(read(frames(kMpeg1L3_128, 417, 2)).valid());
    EXPECT_TRUE(read(frames(kMpeg1L3_128, 417, 4)).valid());
}

TEST(MPEGaudio, LayerOneFramesAreCountedInFourByteSlots) {
    // Layer I frames hold 384 samples in every version and are 4 * (12 *
    // bit rate / sample rate) bytes long, slots cut before scaling.
    struct Case {
        const char* name;
        const char* version;
        uint16_t size;
    };
    for (const Case& c : {Case{"mpeg1-l1.mp1", "MPEG 1", 136},     // 12 * 128000 / 44100 = 34 slots
                          Case{"mpeg2-l1.mp1", "MPEG 2", 120}}) {  // 12 * 56000 / 22050 = 30 slots
        SCOPED_TRACE(c.name);
        TMPEGaudio m;
        ASSERT_TRUE(m.ReadFromFile(fixture(c.name)));
        ASSERT_TRUE(m.frame().found);
        EXPECT_EQ(m.versionText(), c.version);
        EXPECT_EQ(m.layerText(), "Layer I");
        EXPECT_EQ(m.frame().size, c.size);
        EXPECT_EQ(m.frameCount(), int32_t(fileBytes(fixture(c.name)).size() / c.size));
    }
    // A padded layer I frame is one slot longer. MPEG-1, 32 kbit/s, 32000 Hz.
    const TMPEGaudio padded = read(frames("\xFF\xFF\x1A\xC0", 52, 40));
    EXPECT_EQ(padded.frame().size, 52);
    // With a VBR header the length follows from 384 samples per frame.
    // MPEG-2, 256 kbit/s, 16000 Hz: 192 slots = 768 bytes.
    const TMPEGaudio vbr = read(withHeaderAt("\xFF\xF7\xE8\x04", 768, 21, xing(1000, 700000)));
    ASSERT_TRUE(vbr.vbr().found);
    EXPECT_DOUBLE_EQ(vbr.duration(), 384 * 1000.0 / 16000);
}

TEST(MPEGaudio, TagsAroundTheAudio) {
    // A false frame pair inside the ID3v2 tag is never seen: the search
    // starts after the tag.
    std::string tag = id3v2Tag(4096);
    tag.replace(100, 4, kMpeg1L3_128);
    tag.replace(517, 4, kMpeg1L3_128);
    tag.replace(934, 4, kMpeg1L3_128);
    const std::string id3v1 = "TAG" + std::string(125, '\0');
    const std::string bytes = tag + frames(kMpeg1L3_64, 208, 100) + id3v1;
    const TMPEGaudio m = read(bytes);
    ASSERT_TRUE(m.frame().found);
    EXPECT_TRUE(m.id3v2().exists());
    EXPECT_EQ(m.audioStart(), 4096);
    EXPECT_EQ(m.audioEnd(), int64_t(bytes.size()) - 128);
    EXPECT_EQ(m.bitRate(), 64);
    EXPECT_EQ(m.frameCount(), 100);
    EXPECT_TRUE(m.id3v1().exists());

    TMPEGaudio file;
    ASSERT_TRUE(file.ReadFromFile(fixture("id3-both.mp3")));
    EXPECT_TRUE(file.valid());
    EXPECT_EQ(file.audioStart(), file.id3v2().size());
    EXPECT_GT(file.id3v2().size(), 0);
    EXPECT_EQ(file.audioEnd(), file.fileLength() - 128);
    EXPECT_EQ(file.id3v2().title(), "Header Title");
    EXPECT_EQ(file.id3v1().artist(), "Header Artist");
}

TEST(MPEGaudio, NothingFoundResetsEverything) {
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245 + 12345;
        noise += char((x >> 16) & 0x7F);  // never 0xFF: no sync anywhere
    }
    bool ok = false;
    const TMPEGaudio m = read("ID3\x03" + std::string(6, '\0') + noise + "TAG" + std::string(125, 'a'), &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(m.valid());
    EXPECT_FALSE(m.id3v1().exists());
    EXPECT_FALSE(m.id3v2().exists());
    EXPECT_TRUE(read("", &ok).fileLength() == 0);
    EXPECT_TRUE(ok);
    TMPEGaudio missing;
    EXPECT_FALSE(missing.ReadFromFile(fixture("no-such-file.mp3")));
}

TEST(MPEGaudio, FixturesFromTheEncoders) {
    // Xing VBR files measure what ffprobe measures.
    for (const char* name : {"vbr-xing-stereo.mp3", "vbr-xing-mono8k.mp3"}) {
        SCOPED_TRACE(name);
        TMPEGaudio m;
        ASSERT_TRUE(m.ReadFromFile(fixture(name)));
        EXPECT_TRUE(m.valid());
        EXPECT_EQ(m.vbr().id, "Xing");
        EXPECT_EQ(m.vendorID().substr(0, 4), "LAME");
        const double expected = ffprobeDuration(name);
        ASSERT_GT(expected, 0);
        EXPECT_NEAR(m.duration(), expected, expected * 0.01);
    }
    // Constant-rate files are measured from their bytes at the table rate.
    struct Cbr {
        const char* name;
        const char* version;
        const char* layer;
        int bitRate;
        int sampleRate;
    };
    for (const Cbr& c : {Cbr{"mpeg1-l3-cbr.mp3", "MPEG 1", "Layer III", 48, 32000},
                         Cbr{"mpeg2-l3-cbr.mp3", "MPEG 2", "Layer III", 24, 22050},
                         Cbr{"mpeg25-l3-cbr.mp3", "MPEG 2.5", "Layer III", 8, 8000},
                         Cbr{"mpeg1-l2.mp2", "MPEG 1", "Layer II", 64, 32000},
                         Cbr{"mpeg2-l2.mp2", "MPEG 2", "Layer II", 32, 22050},
                         Cbr{"mpeg1-l1.mp1", "MPEG 1", "Layer I", 128, 44100},
                         Cbr{"mpeg2-l1.mp1", "MPEG 2", "Layer I", 56, 22050}}) {
        SCOPED_TRACE(c.name);
        TMPEGaudio m;
        ASSERT_TRUE(m.ReadFromFile(fixture(c.name)));
        EXPECT_TRUE(m.valid());
        EXPECT_FALSE(m.vbr().found);
        EXPECT_EQ(m.versionText(), c.version);
        EXPECT_EQ(m.layerText(), c.layer);
        EXPECT_EQ(m.bitRate(), c.bitRate);
        EXPECT_EQ(m.sampleRate(), c.sampleRate);
        const double size = double(fileBytes(fixture(c.name)).size());
        EXPECT_DOUBLE_EQ(m.duration(), (size - m.audioStart()) / c.bitRate / 1000 * 8);
    }
    TMPEGaudio m;
    ASSERT_TRUE(m.ReadFromFile(fixture("vbri.mp3")));
    EXPECT_EQ(m.vbr().id, "VBRI");
    EXPECT_EQ(m.vbr().scale, 75);
    EXPECT_EQ(m.vbr().bytes, int32_t(fileBytes(fixture("vbri.mp3")).size()));
    EXPECT_NEAR(m.duration(), ffprobeDuration("vbri.mp3"), ffprobeDuration("vbri.mp3") * 0.01);
}
