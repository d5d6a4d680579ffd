#include <gtest/gtest.h>

#include "platform/audio/decoders/Codes.h"
#include "platform/audio/decoders/MusicDecoder.h"
#include "tests/audio-decoders/DecoderTestUtil.h"

namespace qaudio {
namespace {

using namespace qaudio::test;

// tune.mod, tune.s3m: one pattern of 64 rows at speed 6, tempo 125 (0.12 s
// a row).
constexpr uint64_t kTuneFrames = 64 * 5292;

TEST(MusicDecoder, RendersTheWholeSongOnceWithItsScannedLength) {
    struct Case {
        const char* name;
        uint32_t ctype;
        double frequency;
        std::string_view title;
    };
    // A 32-byte sine cycle: at period 428 (MOD) 3546895 / 428 / 32 = 259 Hz;
    // at C-4 with C2SPD 8363 (S3M) 8363 / 32 = 261 Hz.
    for (const Case& c : {Case{"tune.mod", codes::kCtypeMusicMod, 259.0, {"quillet test tune\0", 18}},
                          Case{"tune.s3m", codes::kCtypeMusicS3m, 261.3, {"quillet s3m tune\0", 17}}}) {
        SCOPED_TRACE(c.name);
        auto d = openMusic(fixture(c.name), codes::kMusicPrescan);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->sampleRate(), kMusicRate);
        EXPECT_EQ(d->channels(), 2u);
        EXPECT_EQ(d->channelType(), c.ctype);
        ASSERT_TRUE(d->lengthFrames());
        EXPECT_EQ(*d->lengthFrames(), kTuneFrames);
        const auto s = decodeAll(*d, 4000);
        EXPECT_EQ(s.size(), kTuneFrames * 2);
        const ToneStats t = measureTone(s, 2, 0, kMusicRate, 20000);
        EXPECT_NEAR(t.frequency, c.frequency, 3.0);
        EXPECT_GT(t.rms, 0.05);
        // The song name from the header, and the sample names as the message.
        EXPECT_EQ(d->tags(codes::kTagMusicName), c.title);
        const auto message = d->tags(codes::kTagMusicMessage);
        ASSERT_TRUE(message);
        EXPECT_NE(message->find("sine"), std::string_view::npos);
        EXPECT_FALSE(d->tags(codes::kTagOgg));
    }
}

TEST(MusicDecoder, SeekLandsOnTheFrame) {
    auto straight = openMusic(fixture("tune.mod"), 0);
    ASSERT_TRUE(straight);
    const auto all = decodeAll(*straight);
    const double rms = measureTone(all, 2, 0, kMusicRate, 20000).rms;
    // Far and backward seeks: the note started at row 0 still sounds, and
    // the song ends where its length says.
    auto seeking = openMusic(fixture("tune.mod"), 0);
    ASSERT_TRUE(seeking);
    for (const uint64_t target :
         {uint64_t{5292 * 40 + 17}, uint64_t{5292 * 10 + 17}, uint64_t{0}, kTuneFrames - 5000}) {
        ASSERT_TRUE(seeking->seek(target));
        const auto got = readFrames(*seeking, 4000);
        ASSERT_EQ(got.size(), 8000u);
        EXPECT_NEAR(measureTone(got, 2, 0, kMusicRate, 0).rms, rms, rms * 0.2) << target;
        const uint64_t rest = decodeAll(*seeking).size() / 2;
        EXPECT_EQ(target + 4000 + rest, kTuneFrames) << target;
    }
    EXPECT_FALSE(seeking->seek(kTuneFrames + 1));
    EXPECT_TRUE(seeking->seek(kTuneFrames));
    // A short seek ahead is exact.
    auto ahead = openMusic(fixture("tune.mod"), 0);
    ASSERT_TRUE(ahead);
    readFrames(*ahead, 1000);
    ASSERT_TRUE(ahead->seek(150000));
    const auto got = readFrames(*ahead, 1000);
    ASSERT_EQ(got.size(), 2000u);
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], all[150000 * 2 + i]) << i;
    }
}

TEST(MusicDecoder, RejectsWhatIsNotAModuleQuietly) {
    TempDir dir;
    EXPECT_FALSE(openMusic(dir.write("empty.mod", ""), 0));
    EXPECT_FALSE(openMusic(fixture("tone-cbr128.mp3"), 0));
    EXPECT_FALSE(openMusic(fixture("tone.ogg"), 0));
    for (uint32_t seed = 1; seed <= 10; ++seed) {
        EXPECT_FALSE(openMusicInput(InputFile::fromMemory(randomBytes(5000, seed)), 0)) << seed;
    }
    // Cut before its sample data: libopenmpt may still load it (samples are
    // then silent), but whatever it does must not crash.
    const std::string mod = readBytes(fixture("tune.mod"));
    if (auto cut = openMusicInput(InputFile::fromMemory(mod.substr(0, 1100)), 0)) {
        const uint64_t frames = decodeAll(*cut).size() / 2;
        EXPECT_EQ(frames, cut->lengthFrames().value_or(frames));
    }
}

}  // namespace
}  // namespace qaudio
