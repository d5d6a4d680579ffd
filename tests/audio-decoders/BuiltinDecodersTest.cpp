#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/audio/decoders/BuiltinDecoders.h"
#include "platform/audio/decoders/Codes.h"
#include "tests/audio-decoders/DecoderTestUtil.h"

namespace qaudio {
namespace {

using namespace qaudio::test;

// Opens a file the way the core does: the first factory that takes it.
std::unique_ptr<Decoder> probe(const std::string& path) {
    for (const auto& f : builtinDecoderFactories()) {
        if (auto d = f->open(path, 0)) {
            return d;
        }
    }
    return nullptr;
}

TEST(BuiltinDecoders, EachFixtureOpensWithItsOwnChannelType) {
    const std::vector<std::pair<const char*, uint32_t>> cases = {
        {"tone.ogg", codes::kCtypeOggVorbis},
        {"tone.opus", codes::kCtypeOpus},
        {"tone-cbr128.mp3", codes::kCtypeMp3},
        {"tone-id3.mp3", codes::kCtypeMp3},
        {"tone.mp2", codes::kCtypeMp2},
        {"tone-1k-stereo.wav", codes::kCtypeWavPcm},
        {"tone-float-mono22k.wav", codes::kCtypeWavFloat},
        {"tone-mono22k.aiff", codes::kCtypeAiff},
        {"tone.flac", codes::kCtypeFlac},
    };
    for (const auto& [name, ctype] : cases) {
        auto d = probe(fixture(name));
        ASSERT_TRUE(d) << name;
        EXPECT_EQ(d->channelType(), ctype) << name;
    }
}

TEST(BuiltinDecoders, NoStreamFactoryTakesModulesOrJunk) {
    TempDir dir;
    EXPECT_FALSE(probe(fixture("tune.mod")));
    EXPECT_FALSE(probe(dir.write("empty", "")));
    EXPECT_FALSE(probe(dir.write("random", randomBytes(50000, 42))));
    EXPECT_FALSE(probe(dir.write("text.mp3", std::string(3000, 'a'))));
    EXPECT_FALSE(probe(dir.path() + "/does-not-exist.mp3"));
    EXPECT_FALSE(probe(dir.path()));
    // A FIFO with no writer: refused at once rather than waited on.
    const std::string fifo = dir.path() + "/fifo.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(probe(fifo));
    EXPECT_FALSE(openMusic(fifo, 0));
}

}  // namespace
}  // namespace qaudio
