// The WMA add-on attached to the library: real WMA files from FFmpeg's
// encoders, their length, seeking, tags and damaged copies.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "tests/audio-addons/AddonTest.h"

using addontest::fixture;
using ::testing::Contains;
using ::testing::ElementsAre;

namespace {

const ::testing::Environment* const g_env =
    ::testing::AddGlobalTestEnvironment(new addontest::LibraryEnvironment);

std::string wma(const std::string& name) {
    return fixture("wma", name);
}

class WmaAddon : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        plugin = BASS_PluginLoad((addontest::exeDir() + "/libbasswma.so").c_str(), 0);
        ASSERT_NE(plugin, 0u) << BASS_ErrorGetCode();
    }
    static void TearDownTestSuite() { BASS_PluginFree(plugin); }
    void TearDown() override {
        if (handle) BASS_StreamFree(handle);
    }
    DWORD open(const std::string& path, DWORD flags = BASS_STREAM_DECODE) {
        handle = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, flags);
        return handle;
    }
    double lengthSeconds() const {
        return BASS_ChannelBytes2Seconds(handle, BASS_ChannelGetLength(handle, BASS_POS_BYTE));
    }
    static HPLUGIN plugin;
    DWORD handle = 0;
};
HPLUGIN WmaAddon::plugin = 0;

struct Encoded {
    const char* file;
    DWORD rate, chans;
    double seconds;    // length of the encoded sine
    double frequency;  // Hz
};
const Encoded kEncoded[] = {
    {"tone-wmav2-128k.wma", 44100, 2, 3.0, 1000},
    {"tone-wmav1-32k.asf", 22050, 1, 4.0, 440},
};

TEST_F(WmaAddon, OpensWmaFilesOfBothEncoderVersionsAsWmaChannels) {
    for (const Encoded& e : kEncoded) {
        SCOPED_TRACE(e.file);
        ASSERT_NE(open(wma(e.file)), 0u) << BASS_ErrorGetCode();
        BASS_CHANNELINFO ci{};
        ASSERT_TRUE(BASS_ChannelGetInfo(handle, &ci));
        EXPECT_EQ(ci.ctype, DWORD(BASS_CTYPE_STREAM_WMA));
        EXPECT_EQ(ci.freq, e.rate);
        EXPECT_EQ(ci.chans, e.chans);
        EXPECT_EQ(ci.plugin, plugin);
        const auto samples = addontest::decodeAll(handle);
        EXPECT_NEAR(addontest::sineFrequency(samples, int(e.chans), int(e.rate)), e.frequency,
                    e.frequency * 0.01);
        BASS_StreamFree(handle);
        handle = 0;
    }
}

TEST_F(WmaAddon, Mp3InAnAsfContainerIsItsOwnChannelType) {
    ASSERT_NE(open(wma("mp3-in-asf.asf")), 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO ci{};
    ASSERT_TRUE(BASS_ChannelGetInfo(handle, &ci));
    EXPECT_EQ(ci.ctype, DWORD(BASS_CTYPE_STREAM_WMA_MP3));
    EXPECT_EQ(ci.chans, 1u);
    EXPECT_NEAR(lengthSeconds(), 1.0, 0.1);
    const auto samples = addontest::decodeAll(handle);
    ASSERT_GT(samples.size(), 35280u);
    // The middle of the tone, away from the encoder's delay at the start.
    const std::vector<int16_t> middle(samples.begin() + 8820, samples.begin() + 35280);
    EXPECT_NEAR(addontest::sineFrequency(middle, 1, 44100), 1000, 10);
}

TEST_F(WmaAddon, LengthIsTheTrueOneNotTheFileSizeEstimate) {
    for (const Encoded& e : kEncoded) {
        SCOPED_TRACE(e.file);
        ASSERT_NE(open(wma(e.file)), 0u);
        // The header's play duration less the preroll: within 50 ms of what was
        // encoded, where size x 8 / maximum bit rate is 15 % or more too long.
        EXPECT_NEAR(lengthSeconds(), e.seconds, 0.05);
        const QWORD length = BASS_ChannelGetLength(handle, BASS_POS_BYTE);
        const auto samples = addontest::decodeAll(handle);
        const QWORD decoded = samples.size() * 2;
        EXPECT_LE(decoded, length);  // never plays past its length
        EXPECT_NEAR(double(decoded), double(length), BASS_ChannelSeconds2Bytes(handle, 0.06));
        BASS_StreamFree(handle);

        // The exact-length scan: the length is what decodes.
        ASSERT_NE(open(wma(e.file), BASS_STREAM_DECODE | BASS_STREAM_PRESCAN), 0u);
        const QWORD scanned = BASS_ChannelGetLength(handle, BASS_POS_BYTE);
        EXPECT_EQ(addontest::decodeAll(handle).size() * 2, scanned);
        BASS_StreamFree(handle);
        handle = 0;
    }
}

TEST_F(WmaAddon, SeeksToThePositionAsked) {
    ASSERT_NE(open(wma("tone-wmav2-128k.wma")), 0u);
    const auto whole = addontest::decodeAll(handle);
    for (const double at : {1.5, 0.25, 2.5, 0.0}) {
        SCOPED_TRACE(at);
        const QWORD bytes = BASS_ChannelSeconds2Bytes(handle, at);
        ASSERT_TRUE(BASS_ChannelSetPosition(handle, bytes, BASS_POS_BYTE)) << BASS_ErrorGetCode();
        EXPECT_EQ(BASS_ChannelGetPosition(handle, BASS_POS_BYTE), bytes);
        int16_t buf[4410 * 2];
        ASSERT_EQ(BASS_ChannelGetData(handle, buf, sizeof buf), DWORD(sizeof buf));
        // The samples that follow are those found there decoding from the start,
        // give or take the millisecond of the file's time stamps.
        const size_t start = size_t(bytes / 2);
        int best = 1000;
        double bestError = 1e18;
        for (int shift = -60; shift <= 60; ++shift) {
            double error = 0;
            for (size_t i = 2000; i < 4000; ++i) {
                const long j = long(start + i) + shift * 2;
                if (j < 0 || size_t(j) >= whole.size()) {
                    error = 1e18;
                    break;
                }
                error += std::abs(double(buf[i]) - whole[size_t(j)]);
            }
            if (error < bestError) bestError = error, best = shift;
        }
        EXPECT_LE(std::abs(best), 45) << "the samples after the seek are " << best << " frames off";
    }
    // Beyond the end: refused, the position stays.
    const QWORD before = BASS_ChannelGetPosition(handle, BASS_POS_BYTE);
    EXPECT_FALSE(
        BASS_ChannelSetPosition(handle, BASS_ChannelGetLength(handle, BASS_POS_BYTE) + 4000, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelGetPosition(handle, BASS_POS_BYTE), before);
}

TEST_F(WmaAddon, GivesTheWmaAttributesAsATagSeries) {
    ASSERT_NE(open(wma("tone-wmav2-128k.wma")), 0u);
    const auto tags = addontest::series(BASS_ChannelGetTags(handle, BASS_TAG_WMA));
    std::ifstream file(wma("tone-wmav2-128k.wma"), std::ios::binary | std::ios::ate);
    ASSERT_GE(tags.size(), 2u);
    EXPECT_EQ(tags[0], "FileSize=" + std::to_string(file.tellg()));
    EXPECT_EQ(tags[1], "Bitrate=128000");
    for (const char* expected :
         {"Title=Tone Title", "Author=Tone Artist", "WM/AlbumTitle=Tone Album", "WM/Year=2024",
          "WM/Genre=Test Tones", "WM/TrackNumber=7", "Description=A comment"}) {
        EXPECT_THAT(tags, Contains(std::string(expected)));
    }
    EXPECT_EQ(BASS_ChannelGetTags(handle, BASS_TAG_OGG), nullptr);
    BASS_StreamFree(handle);

    ASSERT_NE(open(wma("tone-wmav1-32k.asf")), 0u);
    const auto plain = addontest::series(BASS_ChannelGetTags(handle, BASS_TAG_WMA));
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain[0].rfind("FileSize=", 0), 0u);
    for (const auto& t : plain) EXPECT_EQ(t.find("Title="), std::string::npos) << t;
}

TEST_F(WmaAddon, DamagedFilesFailOrEndCleanly) {
    // A header cut short is no stream at all.
    EXPECT_EQ(open(wma("truncated-header.wma")), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    // Data cut in half, or packets overwritten: the stream opens and ends
    // within its length.
    for (const char* name : {"truncated-data.wma", "garbled-packets.wma"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(open(wma(name)), 0u) << BASS_ErrorGetCode();
        const QWORD length = BASS_ChannelGetLength(handle, BASS_POS_BYTE);
        EXPECT_LE(addontest::decodeAll(handle).size() * 2, length);
        EXPECT_TRUE(BASS_ChannelSetPosition(handle, BASS_ChannelSeconds2Bytes(handle, 1.0), BASS_POS_BYTE));
        addontest::decodeAll(handle);
        BASS_StreamFree(handle);
        handle = 0;
    }
}

TEST_F(WmaAddon, OtherFilesAreLeftToTheirOwnDecoders) {
    // A non-ASF file named .wma is not taken; the core's formats still open theirs.
    const std::string fake = addontest::tempDir() + "/not-asf.wma";
    std::ofstream(fake) << "this is no ASF header, only text";
    EXPECT_EQ(open(fake), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    ASSERT_NE(open(fixture("audio", "tone.ogg")), 0u);
    BASS_CHANNELINFO ci{};
    BASS_ChannelGetInfo(handle, &ci);
    EXPECT_EQ(ci.ctype, DWORD(BASS_CTYPE_STREAM_OGG));
    EXPECT_EQ(ci.plugin, 0u);
}

}  // namespace
