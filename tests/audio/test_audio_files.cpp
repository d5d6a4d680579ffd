// Real files through the built-in decoders: lengths, gapless MPEG audio,
// exact seeks, tags, tracker modules.
#include <cstring>
#include <filesystem>
#include <vector>

#include "tests/audio/AudioTest.h"

using namespace audiotest;

namespace {

// The fixtures hold 55125 frames of a 1 kHz sine (1.25 s at 44.1 kHz).
constexpr QWORD kToneFrames = 55125;

QWORD decodeAll(DWORD h) {
    std::vector<char> buf(1 << 16);
    QWORD total = 0;
    for (;;) {
        const DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
        if (n == DWORD(-1)) break;
        total += n;
        if (n < buf.size()) {
            EXPECT_EQ(BASS_ChannelGetData(h, buf.data(), DWORD(buf.size())), DWORD(-1));
            break;
        }
    }
    return total;
}

}  // namespace

TEST(AudioFiles, StreamsHaveTheirExactLengthAndType) {
    struct Case {
        const char* file;
        DWORD ctype;
    } cases[] = {{"tone-1k-stereo.wav", BASS_CTYPE_STREAM_WAV_PCM},
                 {"tone-cbr128.mp3", BASS_CTYPE_STREAM_MP3},
                 {"tone-vbr.mp3", BASS_CTYPE_STREAM_MP3},
                 {"tone.mp2", BASS_CTYPE_STREAM_MP2},
                 {"tone.ogg", BASS_CTYPE_STREAM_OGG},
                 {"tone.flac", BASS_CTYPE_STREAM_FLAC}};
    for (const Case& c : cases) {
        const std::string path = fixture(c.file);
        const DWORD h =
            BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        ASSERT_NE(h, 0u) << c.file << " error " << BASS_ErrorGetCode();
        BASS_CHANNELINFO ci{};
        ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
        EXPECT_EQ(ci.ctype, c.ctype) << c.file;
        EXPECT_EQ(ci.freq, 44100u) << c.file;
        EXPECT_EQ(ci.chans, 2u) << c.file;
        EXPECT_STREQ(ci.filename, path.c_str());
        const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
        if (c.ctype != BASS_CTYPE_STREAM_MP2) {            // layer II carries no delay/padding information
            EXPECT_EQ(length, kToneFrames * 4) << c.file;  // gapless: no encoder delay or padding
        }
        EXPECT_EQ(decodeAll(h), length) << c.file;
        EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), std::filesystem::file_size(path))
            << c.file;
        EXPECT_TRUE(BASS_StreamFree(h));
    }
}

TEST(AudioFiles, MpegSeeksAreSampleExact) {
    const std::string path = fixture("tone-cbr128.mp3");
    const DWORD a = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    const DWORD b = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_TRUE(a && b);
    std::vector<int16_t> whole(2 * 40000), part(2 * 500);
    ASSERT_EQ(BASS_ChannelGetData(a, whole.data(), 4 * 40000), 4u * 40000);
    for (QWORD frame : {QWORD(33333), QWORD(1152 * 3 + 7), QWORD(12)}) {
        ASSERT_TRUE(BASS_ChannelSetPosition(b, frame * 4, BASS_POS_BYTE));
        EXPECT_EQ(BASS_ChannelGetPosition(b, BASS_POS_BYTE), frame * 4);
        ASSERT_EQ(BASS_ChannelGetData(b, part.data(), 4 * 500), 4u * 500);
        for (size_t i = 0; i < part.size(); ++i) {
            ASSERT_NEAR(part[i], whole[2 * frame + i], 1) << "frame " << frame << " sample " << i;
        }
    }
    BASS_StreamFree(a);
    BASS_StreamFree(b);
}

TEST(AudioFiles, TagBlocksOfMpegAndOggFiles) {
    const DWORD mp3 = BASS_StreamCreateFile(FALSE, fixture("tone-id3.mp3").c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(mp3, 0u);
    const char* v1 = BASS_ChannelGetTags(mp3, BASS_TAG_ID3);
    ASSERT_NE(v1, nullptr);
    EXPECT_EQ(std::string(v1, 3), "TAG");
    EXPECT_EQ(std::string(v1 + 3, 10), "Tone Title");
    const char* v2 = BASS_ChannelGetTags(mp3, BASS_TAG_ID3V2);
    ASSERT_NE(v2, nullptr);
    EXPECT_EQ(std::string(v2, 3), "ID3");
    BASS_StreamFree(mp3);

    const DWORD ogg = BASS_StreamCreateFile(FALSE, fixture("tone.ogg").c_str(), 0, 0, 0);
    ASSERT_NE(ogg, 0u);
    bool title = false;
    for (const char* t = BASS_ChannelGetTags(ogg, BASS_TAG_OGG); t && *t; t += std::strlen(t) + 1) {
        title = title || std::string(t) == "TITLE=Tone Title";
    }
    EXPECT_TRUE(title);
    BASS_StreamFree(ogg);
}

TEST(AudioFiles, TrackerModulesHaveTheirPrescannedLength) {
    const std::string path = fixture("tune.mod");
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0), 0u);  // modules are not streams
    const DWORD m = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x28400 | BASS_MUSIC_DECODE, 0);
    ASSERT_NE(m, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO ci{};
    ASSERT_TRUE(BASS_ChannelGetInfo(m, &ci));
    EXPECT_EQ(ci.ctype, DWORD(BASS_CTYPE_MUSIC_MOD));
    const QWORD length = BASS_ChannelGetLength(m, BASS_POS_BYTE);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(m, length), 7.68, 0.01);
    EXPECT_EQ(decodeAll(m), length);
    EXPECT_TRUE(BASS_MusicFree(m));
}
