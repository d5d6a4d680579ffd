#include <gtest/gtest.h>

#include <cstring>

#include "platform/audio/decoders/Codes.h"
#include "platform/audio/decoders/MpegDecoder.h"
#include "platform/audio/decoders/MpegProbe.h"
#include "tests/audio-decoders/DecoderTestUtil.h"

namespace qaudio {
namespace {

using namespace qaudio::test;

constexpr uint64_t kToneFrames = 55125;       // the encoders' input, 44.1 kHz
constexpr uint64_t kMonoToneFrames = 27563;   // the same at 22.05 kHz

std::unique_ptr<Decoder> openMpeg(const std::string& name, uint32_t flags = 0) {
    return MpegDecoderFactory().open(fixture(name), flags);
}

TEST(MpegDecoder, GaplessLengthEqualsTheEncodersInput) {
    for (const char* name : {"tone-cbr128.mp3", "tone-vbr.mp3", "tone-id3.mp3"}) {
        for (const uint32_t flags : {0u, codes::kStreamPrescan}) {
            auto d = openMpeg(name, flags);
            ASSERT_TRUE(d) << name;
            ASSERT_TRUE(d->lengthFrames()) << name;
            EXPECT_EQ(*d->lengthFrames(), kToneFrames) << name;
            EXPECT_EQ(decodeAll(*d, 777).size(), kToneFrames * 2) << name;
        }
    }
    auto mono = openMpeg("tone-mono22k.mp3");
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->lengthFrames().value_or(0), kMonoToneFrames);
    EXPECT_EQ(decodeAll(*mono).size(), kMonoToneFrames);
}

TEST(MpegDecoder, ReportsFormatAndDecodesTheTone) {
    struct Case {
        const char* name;
        uint32_t rate, channels, ctype;
    };
    for (const Case& c : {Case{"tone-cbr128.mp3", 44100, 2, codes::kCtypeMp3},
                          Case{"tone-vbr.mp3", 44100, 2, codes::kCtypeMp3},
                          Case{"tone-mono22k.mp3", 22050, 1, codes::kCtypeMp3},
                          Case{"tone.mp2", 44100, 2, codes::kCtypeMp2}}) {
        auto d = openMpeg(c.name);
        ASSERT_TRUE(d) << c.name;
        EXPECT_EQ(d->sampleRate(), c.rate) << c.name;
        EXPECT_EQ(d->channels(), c.channels) << c.name;
        EXPECT_EQ(d->channelType(), c.ctype) << c.name;
        const auto s = decodeAll(*d);
        for (uint32_t ch = 0; ch < c.channels; ++ch) {
            const ToneStats t = measureTone(s, c.channels, ch, c.rate);
            EXPECT_NEAR(t.frequency, 1000.0, 2.0) << c.name;
            EXPECT_NEAR(t.rms, 0.5 / std::sqrt(2.0), 0.02) << c.name;
        }
    }
}

TEST(MpegDecoder, SeeksExactlyToTheSample) {
    const std::vector<uint64_t> targets = {0, 1, 575, 1152, 1153, 30000, 4000, 52000, kToneFrames - 1, 2};
    for (const char* name : {"tone-cbr128.mp3", "tone-vbr.mp3"}) {
        SCOPED_TRACE(name);
        expectSeeksExact([&] { return openMpeg(name); }, targets);
    }
    // Small frames that lean on the bit reservoir; targets all over.
    std::vector<uint64_t> spread;
    for (uint64_t t = 0; t < 48000; t += 2311) {
        spread.push_back(t);
    }
    spread.push_back(4608);
    spread.push_back(17);
    expectSeeksExact([] { return openMpeg("noise-mpeg2-stereo.mp3"); }, spread, 1200);
    // Mono MPEG-2: the right samples, but libmpg123's mono synthesis may
    // round the last bit differently after a seek (far below 16-bit output).
    expectSeeksExact([] { return openMpeg("tone-mono22k.mp3"); }, {0, 13000, 576, kMonoToneFrames}, 3000, 1e-6f);
}

TEST(MpegDecoder, FileWithoutInfoHeaderGetsExactLengthFromPrescan) {
    auto scanned = openMpeg("tone-noinfo.mp3", codes::kStreamPrescan);
    ASSERT_TRUE(scanned);
    ASSERT_TRUE(scanned->lengthFrames());
    const uint64_t length = *scanned->lengthFrames();
    EXPECT_EQ(decodeAll(*scanned).size(), length * 2);
    // Without the header nothing says how much is encoder delay: the whole
    // frames are decoded (at least the input, at most one frame more plus
    // the delay).
    EXPECT_GE(length, kToneFrames);
    EXPECT_LE(length, kToneFrames + 2 * 1152);
    auto plain = openMpeg("tone-noinfo.mp3");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->lengthFrames().value_or(0), length);  // scanned without being asked
    expectSeeksExact([] { return openMpeg("tone-noinfo.mp3"); }, {0, 20000, 1234});
}

TEST(MpegDecoder, FileWithoutInfoHeaderIsAsLongAsItsFrames) {
    // The first frame's bit rate (320 kbit/s) is not the rest's (128 kbit/s): a
    // length estimated from it would be about 0.5 s.
    auto d = openMpeg("first-frame-320k-noinfo.mp3");
    ASSERT_TRUE(d);
    // One frame more than tone-noinfo.mp3, whose frames follow the first.
    auto rest = openMpeg("tone-noinfo.mp3", codes::kStreamPrescan);
    ASSERT_TRUE(rest);
    const uint64_t frames = rest->lengthFrames().value_or(0) + 1152;
    EXPECT_EQ(frames, 50u * 1152);
    EXPECT_EQ(d->lengthFrames().value_or(0), frames);
    EXPECT_EQ(decodeAll(*d).size(), frames * 2);
}

TEST(MpegDecoder, ExposesTheRawId3Blocks) {
    const std::string file = readBytes(fixture("tone-id3.mp3"));
    auto d = openMpeg("tone-id3.mp3");
    ASSERT_TRUE(d);
    const auto v1 = d->tags(codes::kTagId3);
    ASSERT_TRUE(v1);
    EXPECT_EQ(*v1, std::string_view(file).substr(file.size() - 128));
    EXPECT_EQ(v1->substr(0, 3), "TAG");
    EXPECT_EQ(v1->substr(3, 10), "Tone Title");

    const auto v2 = d->tags(codes::kTagId3v2);
    ASSERT_TRUE(v2);
    ASSERT_GE(v2->size(), 10u);
    const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>((*v2)[i])); };
    EXPECT_EQ(v2->substr(0, 3), "ID3");
    EXPECT_EQ(v2->size(), 10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9)));
    EXPECT_EQ(*v2, std::string_view(file).substr(0, v2->size()));
    EXPECT_NE(v2->find("TPE1"), std::string_view::npos);
    EXPECT_FALSE(d->tags(codes::kTagOgg));

    auto plain = openMpeg("tone-cbr128.mp3");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->tags(codes::kTagId3));
    EXPECT_FALSE(plain->tags(codes::kTagId3v2));
}

TEST(MpegDecoder, FilePositionFollowsDecoding) {
    auto d = openMpeg("tone-id3.mp3");
    ASSERT_TRUE(d);
    const uint64_t size = readBytes(fixture("tone-id3.mp3")).size();
    EXPECT_EQ(d->fileSize(), size);
    const uint64_t start = d->fileBytePosition();
    EXPECT_LT(start, size / 4);
    readFrames(*d, kToneFrames / 2);
    const uint64_t middle = d->fileBytePosition();
    EXPECT_GT(middle, start + size / 4);
    EXPECT_LT(middle, start + size * 3 / 4);
    decodeAll(*d);
    EXPECT_GE(d->fileBytePosition(), size - 128 - 1000);
    EXPECT_LE(d->fileBytePosition(), size);
}

TEST(MpegDecoder, RejectsWhatIsNotMpegQuietly) {
    TempDir dir;
    MpegDecoderFactory f;
    EXPECT_FALSE(f.open(dir.write("empty.mp3", ""), 0));
    EXPECT_FALSE(f.open(dir.write("missing/x.mp3", "x"), 0));
    EXPECT_FALSE(f.open(std::filesystem::temp_directory_path().string(), 0));
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        EXPECT_FALSE(f.openInput(InputFile::fromMemory(randomBytes(20000, seed)), 0)) << seed;
    }
    EXPECT_FALSE(f.open(fixture("tone-1k-stereo.wav"), 0));
    EXPECT_FALSE(f.open(fixture("tone.ogg"), 0));
    // An ID3v2 tag with nothing after it, and one whose size runs past the end.
    const std::string id3 = readBytes(fixture("tone-id3.mp3"));
    const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(id3[i])); };
    const size_t tagSize = 10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9));
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(id3.substr(0, tagSize)), 0));
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(id3.substr(0, tagSize / 2)), 0));
    // A single frame header followed by noise.
    std::string lone = randomBytes(5000, 99);
    std::memcpy(lone.data() + 100, "\xFF\xFB\x90\x00", 4);
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(lone), 0));
}

TEST(MpegDecoder, TruncatedFileDecodesWhatIsThere) {
    const std::string full = readBytes(fixture("tone-cbr128.mp3"));
    MpegDecoderFactory f;
    for (const size_t keep : {full.size() / 2, full.size() / 2 + 7, size_t{2000}}) {
        auto d = f.openInput(InputFile::fromMemory(full.substr(0, keep)), 0);
        ASSERT_TRUE(d) << keep;
        const uint64_t frames = decodeAll(*d).size() / 2;
        EXPECT_LT(frames, kToneFrames) << keep;
        EXPECT_GT(frames, (keep - 1000) * 8 * 44100 / 128000 / 2) << keep;
        // A seek beyond what is there fails.
        EXPECT_FALSE(d->seek(kToneFrames - 10)) << keep;
    }
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(full.substr(0, 300)), 0));
}

TEST(MpegProbe, ParsesFrameHeaders) {
    // MPEG-1 layer III, 128 kbit/s, 44.1 kHz, padding, joint stereo.
    const uint8_t l3[4] = {0xFF, 0xFB, 0x92, 0x40};
    auto h = parseMpegFrameHeader(l3);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, 1);
    EXPECT_EQ(h->layer, 3);
    EXPECT_EQ(h->bitrate, 128000u);
    EXPECT_EQ(h->sampleRate, 44100u);
    EXPECT_EQ(h->channels, 2u);
    EXPECT_EQ(h->length, 418u);
    // MPEG-2 layer III, 64 kbit/s, 22.05 kHz, mono: 72 * 64000 / 22050 = 208.
    const uint8_t lsf[4] = {0xFF, 0xF3, 0x80, 0xC0};
    h = parseMpegFrameHeader(lsf);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, 2);
    EXPECT_EQ(h->sampleRate, 22050u);
    EXPECT_EQ(h->channels, 1u);
    EXPECT_EQ(h->length, 208u);
    // MPEG-1 layer I, 384 kbit/s, 48 kHz: (12 * 384000 / 48000) * 4 = 384.
    const uint8_t l1[4] = {0xFF, 0xFF, 0xC4, 0x00};
    h = parseMpegFrameHeader(l1);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->layer, 1);
    EXPECT_EQ(h->length, 384u);
    // Free format, bad bit rate, reserved rate, version, layer and emphasis.
    for (const auto& bad : {std::array<uint8_t, 4>{0xFF, 0xFB, 0x00, 0x00}, {0xFF, 0xFB, 0xF0, 0x00},
                            {0xFF, 0xFB, 0x9C, 0x00}, {0xFF, 0xEB, 0x90, 0x00}, {0xFF, 0xF9, 0x90, 0x00},
                            {0xFF, 0xFB, 0x90, 0x02}, {0xFE, 0xFB, 0x90, 0x00}}) {
        EXPECT_FALSE(parseMpegFrameHeader(bad.data()));
    }
}

}  // namespace
}  // namespace qaudio
