#include <gtest/gtest.h>

#include <cstring>

#include "platform/audio/decoders/Codes.h"
#include "platform/audio/decoders/SndfileDecoder.h"
#include "tests/audio-decoders/DecoderTestUtil.h"

namespace qaudio {
namespace {

using namespace qaudio::test;

std::unique_ptr<Decoder> openSf(const std::string& name) {
    return SndfileDecoderFactory().open(fixture(name), 0);
}

// The 16-bit samples of a canonical WAV file's data chunk, scaled to float.
std::vector<float> wavSamples(const std::string& bytes) {
    const size_t data = bytes.find("data");
    std::vector<float> out;
    for (size_t i = data + 8; i + 1 < bytes.size(); i += 2) {
        int16_t v = 0;
        std::memcpy(&v, bytes.data() + i, 2);
        out.push_back(static_cast<float>(v) / 32768.0f);
    }
    return out;
}

TEST(SndfileDecoder, ReportsFormatLengthAndType) {
    struct Case {
        const char* name;
        uint32_t rate, channels, ctype;
        uint64_t length;
    };
    for (const Case& c : {Case{"tone-1k-stereo.wav", 44100, 2, codes::kCtypeWavPcm, 55125},
                          Case{"tone-float-mono22k.wav", 22050, 1, codes::kCtypeWavFloat, 27563},
                          Case{"tone-mono22k.aiff", 22050, 1, codes::kCtypeAiff, 27563},
                          Case{"tone.flac", 44100, 2, codes::kCtypeFlac, 55125},
                          Case{"tone.opus", 48000, 2, codes::kCtypeOpus, 60000}}) {
        auto d = openSf(c.name);
        ASSERT_TRUE(d) << c.name;
        EXPECT_EQ(d->sampleRate(), c.rate) << c.name;
        EXPECT_EQ(d->channels(), c.channels) << c.name;
        EXPECT_EQ(d->channelType(), c.ctype) << c.name;
        EXPECT_EQ(d->lengthFrames(), std::optional<uint64_t>(c.length)) << c.name;
        const auto s = decodeAll(*d, 1001);
        EXPECT_EQ(s.size(), c.length * c.channels) << c.name;
        for (uint32_t ch = 0; ch < c.channels; ++ch) {
            const ToneStats t = measureTone(s, c.channels, ch, c.rate);
            EXPECT_NEAR(t.frequency, 1000.0, 2.0) << c.name;
            EXPECT_NEAR(t.rms, 0.5 / std::sqrt(2.0), 0.02) << c.name;
        }
        EXPECT_EQ(d->fileSize(), readBytes(fixture(c.name)).size());
    }
}

TEST(SndfileDecoder, LosslessFormatsGiveTheSourceSamples) {
    const auto pcm = wavSamples(readBytes(fixture("tone-1k-stereo.wav")));
    ASSERT_EQ(pcm.size(), 55125u * 2);
    auto wav = openSf("tone-1k-stereo.wav");
    auto flac = openSf("tone.flac");
    ASSERT_TRUE(wav && flac);
    EXPECT_EQ(decodeAll(*wav), pcm);
    EXPECT_EQ(decodeAll(*flac), pcm);
    // The AIFF (16-bit) and the float WAV hold the same mono source.
    auto aiff = openSf("tone-mono22k.aiff");
    auto fwav = openSf("tone-float-mono22k.wav");
    ASSERT_TRUE(aiff && fwav);
    EXPECT_EQ(decodeAll(*aiff), decodeAll(*fwav));
}

TEST(SndfileDecoder, SeeksExactlyToTheSample) {
    for (const char* name : {"tone-1k-stereo.wav", "tone.flac", "tone-mono22k.aiff"}) {
        SCOPED_TRACE(name);
        expectSeeksExact([&] { return openSf(name); }, {0, 1, 20000, 4095, 4096, 27000, 7});
    }
}

TEST(SndfileDecoder, LeavesMpegToItsOwnDecoderAndRejectsJunk) {
    SndfileDecoderFactory f;
    for (const char* name : {"tone-cbr128.mp3", "tone-id3.mp3", "tone.mp2", "tune.mod"}) {
        EXPECT_FALSE(f.open(fixture(name), 0)) << name;
    }
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(""), 0));
    for (uint32_t seed = 1; seed <= 10; ++seed) {
        EXPECT_FALSE(f.openInput(InputFile::fromMemory(randomBytes(8000, seed)), 0));
    }
    const std::string wav = readBytes(fixture("tone-1k-stereo.wav"));
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(wav.substr(0, 20)), 0));
    // A WAV cut in its data plays what is there.
    auto cut = f.openInput(InputFile::fromMemory(wav.substr(0, 44 + 4000 * 4 + 2)), 0);
    if (cut) {
        EXPECT_LE(decodeAll(*cut).size(), 4001u * 2);
    }
}

TEST(SndfileDecoder, NeverReadsOggVorbis) {
    SndfileDecoderFactory f;
    const std::string vorbis = readBytes(fixture("tone.ogg"));
    // Whole, damaged (its setup header cut away), or behind an ID3v2 tag.
    const std::string id3 = std::string("ID3\x03\0\0\0\0\0\x02", 10) + std::string(2, '\0');
    for (const std::string& bytes : {vorbis, vorbis.substr(0, 200) + std::string(3000, '\x55'), id3 + vorbis}) {
        EXPECT_FALSE(f.openInput(InputFile::fromMemory(bytes), 0));
    }
    // Ogg Opus is libsndfile's.
    EXPECT_TRUE(f.openInput(InputFile::fromMemory(readBytes(fixture("tone.opus"))), 0));
}

}  // namespace
}  // namespace qaudio
