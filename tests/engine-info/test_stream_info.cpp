// Inspecting files into a TStreamInfo: the media readers for the formats the
// program reads itself, the audio library (device 0, no sound) for the rest.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/bass/Dynamic_Bass.h"
#include "engine/StreamInfoReader.h"

namespace fs = std::filesystem;

namespace {

std::string fixture(const std::string& rel) {
    return std::string(QUILLET_FIXTURES) + "/" + rel;
}

uint32_t sizeOf(const std::string& path) {
    return uint32_t(fs::file_size(path));
}

class StreamInfoTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(Load_BASSDLL(""));
        ASSERT_TRUE(Bass.BASS_Init(0, 44100, 0, nullptr, nullptr));
    }
    static void TearDownTestSuite() { Unload_BASSDLL(); }

    void SetUp() override {
        ready.BASSReady = true;
        tmp = fs::temp_directory_path() / ("quillet-info-" + std::to_string(getpid()));
        fs::create_directories(tmp);
    }
    void TearDown() override { fs::remove_all(tmp); }

    // A copy of a fixture under another name in the test's own folder.
    std::string copyAs(const std::string& rel, const std::string& name) {
        const fs::path to = tmp / name;
        fs::copy_file(fixture(rel), to, fs::copy_options::overwrite_existing);
        return to.string();
    }
    std::string writeFile(const std::string& name, const std::string& bytes) {
        const fs::path to = tmp / name;
        std::ofstream(to, std::ios::binary) << bytes;
        return to.string();
    }

    TStreamInfoReader reader;
    TStreamInfoContext ready;
    TStreamInfo info;
    fs::path tmp;
};

TEST_F(StreamInfoTest, Mp3WithBothTagsTakesTheID3v1Tag) {
    const std::string name = fixture("engine-info/id3-v1-and-v2.mp3");
    ASSERT_TRUE(reader.Read(name, info, ready));
    EXPECT_EQ(info.FileName, name);
    EXPECT_EQ(info.Title, "Back Title");
    EXPECT_EQ(info.Artist, "Back Artist");
    EXPECT_EQ(info.Album, "Back Album");
    EXPECT_EQ(info.Year, "2001");
    EXPECT_EQ(info.Comment, "back comment");
    EXPECT_EQ(info.Track, 3);
    EXPECT_EQ(info.GenreID, 17);
    EXPECT_EQ(info.Genre, "Rock");
    EXPECT_EQ(info.FileSize, sizeOf(name));
    EXPECT_EQ(info.SampleRate, 32000u);
    EXPECT_EQ(info.BitRate, 32u);
    EXPECT_EQ(info.Channels, 1);
    EXPECT_EQ(info.BitsPerSample, 16);
    EXPECT_EQ(info.Format, 0x10005u);
    EXPECT_NEAR(double(info.Duration), 1000.0, 150.0);
}

TEST_F(StreamInfoTest, Mp3WithOnlyID3v2TakesThatTag) {
    ASSERT_TRUE(reader.Read(fixture("engine-info/id3v2-only.mp3"), info, ready));
    EXPECT_EQ(info.Title, "Front Title");
    EXPECT_EQ(info.Artist, "Front Artist");
    EXPECT_EQ(info.Album, "Front Album");
    EXPECT_EQ(info.Year, "1999");
    EXPECT_EQ(info.Genre, "Jazz");
    EXPECT_EQ(info.Track, 7);
    EXPECT_EQ(info.GenreID, 0);
}

TEST_F(StreamInfoTest, ReusedReadersLeaveNothingOfThePreviousFile) {
    ASSERT_TRUE(reader.Read(fixture("engine-info/id3-v1-and-v2.mp3"), info, ready));
    const std::string plain = fixture("media/headers/mpeg1-l3-cbr.mp3");
    ASSERT_TRUE(reader.Read(plain, info, ready));
    EXPECT_EQ(info.Title, "mpeg1-l3-cbr.mp3");  // no tag: the file name
    EXPECT_EQ(info.Artist, "");
    EXPECT_EQ(info.Track, 0);
    EXPECT_EQ(info.FileSize, sizeOf(plain));
}

TEST_F(StreamInfoTest, MpegLayerSetsTheFormat) {
    ASSERT_TRUE(reader.Read(fixture("media/headers/mpeg1-l2.mp2"), info, ready));
    EXPECT_EQ(info.Format, 0x10004u);
    ASSERT_TRUE(reader.Read(fixture("media/headers/mpeg1-l1.mp1"), info, ready));
    EXPECT_EQ(info.Format, 0x10003u);
    EXPECT_EQ(info.Title, "mpeg1-l1.mp1");
    // The extension decides the reader, not the layer: a layer II file named .mp3.
    ASSERT_TRUE(reader.Read(copyAs("media/headers/mpeg1-l2.mp2", "layer2.mp3"), info, ready));
    EXPECT_EQ(info.Format, 0x10004u);
}

TEST_F(StreamInfoTest, WavTakesHeaderValuesAndTheLibrarysChannelType) {
    const std::string name = fixture("audio/tone-1k-stereo.wav");
    ASSERT_TRUE(reader.Read(name, info, ready));
    EXPECT_EQ(info.BitRate, 1411u);  // 44100 * 16 * 2 / 1000
    EXPECT_EQ(info.SampleRate, 44100u);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.BitsPerSample, 16);
    EXPECT_EQ(info.Duration, 1250u);  // 55125 frames
    EXPECT_EQ(info.FileSize, sizeOf(name));
    EXPECT_EQ(info.Format, uint32_t(BASS_CTYPE_STREAM_WAV_PCM));
    EXPECT_EQ(info.Title, "tone-1k-stereo.wav");

    // Without the library the header alone still describes the file.
    TStreamInfo alone;
    ASSERT_TRUE(reader.Read(name, alone, TStreamInfoContext{}));
    EXPECT_EQ(alone.Format, 0u);
    EXPECT_EQ(alone.BitRate, 1411u);
}

TEST_F(StreamInfoTest, WavBitRateOfAHugeSampleRateDoesNotWrap) {
    ASSERT_TRUE(reader.Read(fixture("engine-info/huge-samplerate.wav"), info, TStreamInfoContext{}));
    EXPECT_EQ(info.SampleRate, 0xFFFFFFFFu);
    EXPECT_EQ(info.BitRate, uint32_t(0xFFFFFFFFull * 16 * 2 / 1000));
}

TEST_F(StreamInfoTest, OggAacAndWmaComeFromTheirReaders) {
    ASSERT_TRUE(reader.Read(fixture("media/headers/vorbis.ogg"), info, ready));
    EXPECT_EQ(info.Format, 0x10002u);
    EXPECT_EQ(info.Title, "Ogg Title");
    EXPECT_EQ(info.Artist, "Ogg Artist");
    EXPECT_EQ(info.Year, "2001");
    EXPECT_EQ(info.Genre, "Rock");
    EXPECT_EQ(info.Track, 7);
    EXPECT_EQ(info.Comment, "hello");
    EXPECT_NEAR(double(info.Duration), 5000.0, 20.0);

    ASSERT_TRUE(reader.Read(fixture("media/headers/adts.aac"), info, ready));
    EXPECT_EQ(info.Format, 0x10B00u);
    EXPECT_GT(info.SampleRate, 0u);
    EXPECT_GT(info.BitRate, 0u);
    EXPECT_LT(info.BitRate, 1000u);  // kbit/s, not bit/s
    EXPECT_EQ(info.Title, "adts.aac");

    ASSERT_TRUE(reader.Read(fixture("media/headers/wma.wma"), info, ready));
    EXPECT_EQ(info.Format, 0x10300u);
    EXPECT_EQ(info.Title, "WMA Title");
    EXPECT_EQ(info.Artist, "WMA Artist");
    EXPECT_EQ(info.Album, "WMA Album");
    EXPECT_EQ(info.Genre, "Jazz");
}

TEST_F(StreamInfoTest, OggVorbisTheLibraryPlaysIsTakenHoweverShort) {
    // 0.1 s: too short for the header reader, not for the library.
    ASSERT_TRUE(reader.Read(fixture("audio/tone-short.ogg"), info, ready));
    EXPECT_EQ(info.Format, 0x10002u);
    EXPECT_EQ(info.Duration, 100u);
    EXPECT_EQ(info.SampleRate, 44100u);
    EXPECT_EQ(info.Channels, 2u);
    EXPECT_EQ(info.FileSize, sizeOf(fixture("audio/tone-short.ogg")));
    EXPECT_EQ(info.Title, "Short Title");  // the comments are still read
    // Other Ogg content under the name is not Ogg Vorbis.
    EXPECT_FALSE(reader.Read(copyAs("audio/tone.opus", "opus.ogg"), info, ready));
    EXPECT_EQ(info, TStreamInfo(tmp / "opus.ogg"));
}

TEST_F(StreamInfoTest, DurationBeyondTheRangeOfMillisecondsIsCapped) {
    // An ADIF header stating 1 bit/s before 600000 bytes: 4.8 million seconds.
    std::ifstream in(fixture("media/headers/adif.aac"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    for (int i = 0; i < 23; ++i) {  // the 23-bit bit rate at bit 36
        const int pos = 36 + i;
        const auto mask = char(0x80 >> (pos % 8));
        bytes[size_t(pos / 8)] = char(i == 22 ? bytes[size_t(pos / 8)] | mask : bytes[size_t(pos / 8)] & ~mask);
    }
    bytes.resize(600000, '\0');
    ASSERT_TRUE(reader.Read(writeFile("long.aac", bytes), info, ready));
    EXPECT_EQ(info.Duration, 0xFFFFFFFFu);
    EXPECT_EQ(info.BitRate, 0u);
    EXPECT_EQ(info.FileSize, 600000u);
}

TEST_F(StreamInfoTest, InvalidHeaderLeavesANewRecord) {
    const std::string fake = writeFile("fake.mp3", std::string(8000, 'x'));
    info.Title = "stale";
    EXPECT_FALSE(reader.Read(fake, info, ready));
    EXPECT_EQ(info, TStreamInfo(fake));
    EXPECT_FALSE(reader.Read(writeFile("fake.ogg", "OggS"), info, ready));
    EXPECT_FALSE(reader.Read((tmp / "missing.wav").string(), info, ready));
    EXPECT_FALSE(reader.Read((tmp / "missing.wma").string(), info, ready));
}

TEST_F(StreamInfoTest, TrackerModulesTakeTitlesFromTheirBytes) {
    struct Case {
        const char* file;
        const char* title;
        uint32_t format;
    };
    const Case cases[] = {
        {"audio/tune.mod", "quillet test tune", BASS_CTYPE_MUSIC_MOD},  // zero padded
        {"audio/tune.s3m", "quillet s3m tune", BASS_CTYPE_MUSIC_S3M},
        {"engine-info/tune.xm", "quillet xm tune", BASS_CTYPE_MUSIC_XM},  // space padded
        {"engine-info/tune.it", "quillet it tune", BASS_CTYPE_MUSIC_IT},
        {"engine-info/tune.mtm", "quillet mtm tune", BASS_CTYPE_MUSIC_MTM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TStreamInfo m;
        ASSERT_TRUE(reader.Read(fixture(c.file), m, ready));
        EXPECT_EQ(m.Title, c.title);
        EXPECT_EQ(m.Format, c.format);
        EXPECT_EQ(m.FileSize, sizeOf(fixture(c.file)));
        EXPECT_NEAR(double(m.Duration), 7680.0, 30.0);
        EXPECT_EQ(m.BitRate, 0u);
        EXPECT_EQ(m.SampleRate, 44100u);
        EXPECT_EQ(m.Channels, 2);
        EXPECT_EQ(m.BitsPerSample, 16);
    }
}

TEST_F(StreamInfoTest, UmxIsTitledByItsFileName) {
    const std::string name = copyAs("engine-info/tune.umx", "Unreal Theme.umx");
    ASSERT_TRUE(reader.Read(name, info, ready));
    EXPECT_EQ(info.Title, "Unreal Theme.umx");  // not the title inside
    EXPECT_NEAR(double(info.Duration), 7680.0, 30.0);
}

TEST_F(StreamInfoTest, ModuleTitleBytesEnterAsUtf8) {
    std::string mod;
    {
        std::ifstream in(fixture("audio/tune.mod"), std::ios::binary);
        mod.assign(std::istreambuf_iterator<char>(in), {});
    }
    // GBK "音乐" then spaces and control bytes, zero padded to 20 bytes.
    std::string title = "\xD2\xF4\xC0\xD6 \t\x01  ";
    title.resize(20, '\0');
    const std::string name = writeFile("gbk.mod", title + mod.substr(20));
    ASSERT_TRUE(reader.Read(name, info, ready));
    EXPECT_EQ(info.Title, "\xE9\x9F\xB3\xE4\xB9\x90");

    // Bytes after a zero inside the field are not part of the title.
    title = std::string("abc\0garbage", 11);
    title.resize(20, ' ');
    ASSERT_TRUE(reader.Read(writeFile("nul.mod", title + mod.substr(20)), info, ready));
    EXPECT_EQ(info.Title, "abc");
}

TEST_F(StreamInfoTest, ModulesNeedTheLibrary) {
    const std::string name = fixture("audio/tune.mod");
    EXPECT_FALSE(reader.Read(name, info, TStreamInfoContext{}));
    EXPECT_EQ(info.Duration, 0u);
    // A file the library does not load as a module.
    EXPECT_FALSE(reader.Read(writeFile("text.xm", std::string(400, 'x')), info, ready));
    EXPECT_FALSE(reader.Read((tmp / "missing.it").string(), info, ready));
    EXPECT_EQ(info.FileSize, 0u);
}

TEST_F(StreamInfoTest, OtherExtensionsAreInspectedByTheLibrary) {
    const std::string flac = fixture("audio/tone.flac");
    ASSERT_TRUE(reader.Read(flac, info, ready));
    EXPECT_EQ(info.Format, uint32_t(BASS_CTYPE_STREAM_FLAC));
    EXPECT_EQ(info.Duration, 1250u);
    EXPECT_EQ(info.SampleRate, 44100u);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.FileSize, sizeOf(flac));
    EXPECT_EQ(info.BitRate, uint32_t(std::llround(sizeOf(flac) / (1250 * 0.125))));
    EXPECT_EQ(info.Title, "tone.flac");

    // The WAV reader takes only integer PCM; under another extension the
    // library opens the same float file.
    EXPECT_FALSE(reader.Read(fixture("audio/tone-float-mono22k.wav"), info, ready));
    ASSERT_TRUE(reader.Read(copyAs("audio/tone-float-mono22k.wav", "float.aiff"), info, ready));
    EXPECT_EQ(info.Channels, 1);
    EXPECT_EQ(info.SampleRate, 22050u);

    EXPECT_FALSE(reader.Read(fixture("engine-info/not-audio.flac"), info, ready));
    EXPECT_FALSE(reader.Read(flac, info, TStreamInfoContext{}));
    EXPECT_FALSE(reader.Read((tmp / "missing.flac").string(), info, ready));
}

TEST_F(StreamInfoTest, StreamOfNoLengthHasNoBitRate) {
    ASSERT_TRUE(reader.Read(fixture("engine-info/empty.aiff"), info, ready));
    EXPECT_EQ(info.Duration, 0u);
    EXPECT_EQ(info.BitRate, 0u);
}

TEST_F(StreamInfoTest, ExtensionRulesDecideWhatIsInspected) {
    // Three or four letters after the dot are inspected; the case does not matter.
    EXPECT_TRUE(reader.Read(copyAs("audio/tone-1k-stereo.wav", "LOUD.WaV"), info, ready));
    EXPECT_TRUE(reader.Read(copyAs("audio/tone.flac", "t.FLAC"), info, ready));
    // Five letters, one letter, none: nothing is read, not even the size.
    for (const char* name : {"tone.flacc", "tone.f", "tone", "tone."}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(reader.Read(copyAs("audio/tone.flac", name), info, ready));
        EXPECT_EQ(info.FileSize, 0u);
    }
    // A dot in a folder name is not an extension.
    fs::create_directories(tmp / "dir.wav");
    fs::copy_file(fixture("audio/tone-1k-stereo.wav"), tmp / "dir.wav" / "noext");
    EXPECT_FALSE(reader.Read((tmp / "dir.wav" / "noext").string(), info, ready));
    // URLs are inspected when they are opened.
    for (const char* url : {"http://host/a.mp3", "mms://host/a.wma", "ftp://host/a.ogg"}) {
        EXPECT_FALSE(reader.Read(url, info, ready)) << url;
    }
    // MIDI files are left to the MIDI add-on.
    for (const char* name : {"song.mid", "song.MIDI", "song.rmi", "song.kar"}) {
        EXPECT_FALSE(reader.Read(copyAs("audio/tone.flac", name), info, ready)) << name;
        EXPECT_EQ(info.FileSize, 0u);
    }
}

TEST_F(StreamInfoTest, TheExtensionAloneChoosesTheReader) {
    // A file goes to the reader its extension names, whatever it holds; a
    // reader that finds no header of its format does not hand the file on.
    const struct {
        const char* fixture;
        const char* name;
        uint32_t format;  // 0: not described
    } cases[] = {
        {"media/headers/vorbis.ogg", "a.OGG", 0x10002},
        {"media/headers/vorbis.ogg", "a.mp3", 0},
        {"media/headers/vorbis.ogg", "a.wav", 0},
        {"media/headers/vorbis.ogg", "a.aac", 0},
        {"media/headers/vorbis.ogg", "a.asf", 0},
        {"media/headers/mpeg1-l3-cbr.mp3", "b.MP1", 0x10005},  // the layer gives the format
        {"media/headers/mpeg1-l2.mp2", "b.mp3", 0x10004},
        {"media/headers/wma.wma", "c.ASF", 0x10300},
        {"media/headers/pcm16.wav", "c.wma", 0},
        {"media/headers/adts.aac", "d.Aac", 0x10B00},
        {"media/headers/adts.aac", "d.mp2", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = copyAs(c.fixture, c.name);
        EXPECT_EQ(reader.Read(path, info, ready), c.format != 0);
        EXPECT_EQ(info.Format, c.format);
        EXPECT_EQ(info.FileSize, c.format != 0 ? sizeOf(path) : 0u);
    }
}

TEST(NativeFileExts, ListsTheLibrarysFormatsAndTheAddOns) {
    TStreamInfoContext context;
    EXPECT_EQ(NativeFileExts(context), "");
    context.BASSReady = true;
    const std::string core = "*.wav;*.mp1;*.mp2;*.mp3;*.ogg;*.aiff;*.mo3;*.it;*.xm;*.s3m;*.mtm;*.mod;*.umx;";
    EXPECT_EQ(NativeFileExts(context), core);
    context.CDReady = true;
    EXPECT_EQ(NativeFileExts(context), core + "*.cda;");
    context.WMAReady = true;
    EXPECT_EQ(NativeFileExts(context), core + "*.cda;*.wma;*.asf;");
    context.CDReady = false;
    EXPECT_EQ(NativeFileExts(context), core + "*.wma;*.asf;");
}

// A stand-in for the CD add-on's track length: records what it was asked.
DWORD g_askedDrive = 99, g_askedTrack = 99, g_trackBytes = 0;
int g_lengthCalls = 0;
DWORD fakeTrackLength(DWORD drive, DWORD track) {
    ++g_lengthCalls;
    g_askedDrive = drive;
    g_askedTrack = track;
    return g_trackBytes;
}

TEST_F(StreamInfoTest, WmaDurationIsTheTrueLengthWhenTheAddOnIsReady) {
    // 3 s of sound whose size over the maximum bit rate gives 3.45 s.
    const std::string name = fixture("wma/tone-wmav2-128k.wma");
    ASSERT_TRUE(reader.Read(name, info, ready));
    EXPECT_NEAR(double(info.Duration), 3454.0, 2.0);  // the header reader's estimate
    EXPECT_EQ(info.Title, "Tone Title");

    const HPLUGIN wma = Bass.BASS_PluginLoad((ExecutableFolder() + kBassWmaLibrary).c_str(), 0);
    ASSERT_NE(wma, 0u);
    TStreamInfoContext withWma = ready;
    withWma.WMAReady = true;
    ASSERT_TRUE(reader.Read(name, info, withWma));
    EXPECT_NEAR(double(info.Duration), 3000.0, 50.0);
    EXPECT_EQ(info.BitRate, 128u);
    EXPECT_EQ(info.Artist, "Tone Artist");
    EXPECT_EQ(info.Year, "2024");
    Bass.BASS_PluginFree(wma);
}

TEST_F(StreamInfoTest, CDTrackOnAListedDrive) {
    const TBassCDFunctions saved = BassCD;
    BassCD.BASS_CD_GetTrackLength = fakeTrackLength;
    TStreamInfoContext cd = ready;
    cd.CDReady = true;
    cd.CDDrives = {"D: Virtual Drive", "E: Other Drive"};
    g_trackBytes = 70u * 60u * 176400u;  // 70 minutes
    g_lengthCalls = 0;

    ASSERT_TRUE(reader.Read("e:/Track05.cda", info, cd));
    EXPECT_EQ(g_askedDrive, 1u);
    EXPECT_EQ(g_askedTrack, 4u);
    EXPECT_EQ(info.Track, 4);
    EXPECT_EQ(info.FileSize, g_trackBytes);
    EXPECT_EQ(info.SampleRate, 44100u);
    EXPECT_EQ(info.BitRate, 1411u);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.Duration, 4200000u);
    EXPECT_EQ(info.Format, 0x10200u);
    EXPECT_EQ(info.Title, "Track05.cda");

    g_lengthCalls = 0;
    EXPECT_FALSE(reader.Read("D:/TrackAB.cda", info, cd));  // no track number
    EXPECT_FALSE(reader.Read("D:/Track00.cda", info, cd));  // tracks count from 1
    EXPECT_FALSE(reader.Read("F:/Track01.cda", info, cd));  // no such drive
    EXPECT_EQ(g_lengthCalls, 0);
    g_trackBytes = 0xFFFFFFFFu;  // the add-on's failure value
    EXPECT_FALSE(reader.Read("D:/Track01.cda", info, cd));
    EXPECT_EQ(g_lengthCalls, 1);
    g_trackBytes = 1000;
    cd.CDReady = false;
    EXPECT_FALSE(reader.Read("D:/Track01.cda", info, cd));
    EXPECT_EQ(g_lengthCalls, 1);
    BassCD = saved;
}

}  // namespace

namespace {

TEST_F(StreamInfoTest, AFifoIsNoMediaFileAndNeverBlocks) {
    // Nobody writes to the pipe: an open that waited for a writer would hang here.
    for (const char* name : {"pipe.mp3", "pipe.wav", "pipe.ogg", "pipe.aac", "pipe.wma", "pipe.mod", "pipe.flac"}) {
        const fs::path path = tmp / name;
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << name;
        EXPECT_FALSE(reader.Read(path.string(), info, ready)) << name;
    }
}

}  // namespace
