#include <gtest/gtest.h>

#include "platform/audio/decoders/Codes.h"
#include "platform/audio/decoders/VorbisDecoder.h"
#include "tests/audio-decoders/DecoderTestUtil.h"

namespace qaudio {
namespace {

using namespace qaudio::test;

std::unique_ptr<Decoder> openOgg(const std::string& name) {
    return VorbisDecoderFactory().open(fixture(name), 0);
}

std::vector<std::string> splitSeries(std::string_view s) {
    std::vector<std::string> out;
    while (!s.empty() && s.front() != '\0') {
        const size_t end = s.find('\0');
        out.emplace_back(s.substr(0, end));
        s.remove_prefix(end == std::string_view::npos ? s.size() : end + 1);
    }
    return out;
}

TEST(VorbisDecoder, ExactLengthFormatAndTone) {
    auto d = openOgg("tone.ogg");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->sampleRate(), 44100u);
    EXPECT_EQ(d->channels(), 2u);
    EXPECT_EQ(d->channelType(), codes::kCtypeOggVorbis);
    EXPECT_EQ(d->lengthFrames(), std::optional<uint64_t>(55125));
    const auto s = decodeAll(*d, 333);
    EXPECT_EQ(s.size(), 55125u * 2);
    for (uint32_t ch = 0; ch < 2; ++ch) {
        const ToneStats t = measureTone(s, 2, ch, 44100);
        EXPECT_NEAR(t.frequency, 1000.0, 2.0);
        EXPECT_NEAR(t.rms, 0.5 / std::sqrt(2.0), 0.02);
    }
    EXPECT_EQ(d->fileSize(), readBytes(fixture("tone.ogg")).size());
    EXPECT_GT(d->fileBytePosition(), d->fileSize() * 3 / 4);
}

TEST(VorbisDecoder, SeeksExactlyToTheSample) {
    expectSeeksExact([] { return openOgg("tone.ogg"); }, {0, 1, 30000, 1000, 55124, 12345});
}

TEST(VorbisDecoder, CommentsAsNulSeparatedSeries) {
    auto d = openOgg("tone.ogg");
    ASSERT_TRUE(d);
    const auto tags = d->tags(codes::kTagOgg);
    ASSERT_TRUE(tags);
    ASSERT_GE(tags->size(), 2u);
    EXPECT_EQ(tags->substr(tags->size() - 2), std::string_view("\0\0", 2));
    const auto entries = splitSeries(*tags);
    // Every NUL of the view ends one entry; the last ends the series.
    EXPECT_EQ(static_cast<size_t>(std::count(tags->begin(), tags->end(), '\0')), entries.size() + 1);
    for (const char* want : {"TITLE=Tone Title", "ARTIST=Tone Artist", "ALBUM=Tone Album"}) {
        EXPECT_NE(std::find(entries.begin(), entries.end(), want), entries.end()) << want;
    }
    const auto vendor = d->tags(codes::kTagVendor);
    ASSERT_TRUE(vendor);
    EXPECT_EQ(vendor->substr(0, 7), "Xiph.Or");
    EXPECT_EQ(vendor->back(), '\0');
    EXPECT_EQ(vendor->find('\0'), vendor->size() - 1);
    EXPECT_FALSE(d->tags(codes::kTagId3));
    EXPECT_FALSE(d->tags(codes::kTagId3v2));
}

TEST(VorbisDecoder, RejectsOtherAndBrokenFilesQuietly) {
    VorbisDecoderFactory f;
    EXPECT_FALSE(f.open(fixture("tone.opus"), 0));
    EXPECT_FALSE(f.open(fixture("tone-cbr128.mp3"), 0));
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(""), 0));
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(randomBytes(10000, 5)), 0));
    EXPECT_FALSE(f.openInput(InputFile::fromMemory("OggS" + randomBytes(10000, 6)), 0));
    const std::string full = readBytes(fixture("tone.ogg"));
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(full.substr(0, 200)), 0));
    // Cut in the headers: not a stream. Cut in the audio (its only page
    // lost): opens, and plays the nothing that is left.
    EXPECT_FALSE(f.openInput(InputFile::fromMemory(full.substr(0, full.size() / 2)), 0));
    auto cut = f.openInput(InputFile::fromMemory(full.substr(0, full.size() * 3 / 4)), 0);
    ASSERT_TRUE(cut);
    const uint64_t frames = decodeAll(*cut).size() / 2;
    EXPECT_EQ(frames, cut->lengthFrames().value_or(0));
    EXPECT_LT(frames, 55125u);
}

}  // namespace
}  // namespace qaudio
