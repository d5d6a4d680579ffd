// The library's C interface on device 0: versions, errors and handles,
// decoding channels, user streams, add-ons, tags.
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/audio/AudioTest.h"

using namespace audiotest;

namespace {

class Device0 : public ::testing::Environment {
  public:
    void SetUp() override { LibraryTest::initLibrary(0); }
    void TearDown() override { LibraryTest::freeLibrary(); }
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new Device0);

constexpr DWORD kBogus = 0x7777;

tonefile::Header ramp(uint64_t frames) {
    tonefile::Header h;
    h.mode = tonefile::kRamp;
    h.frames = frames;
    return h;
}

}  // namespace

TEST(AudioApi, VersionInfoAndInitialisation) {
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u);
    EXPECT_GE(BASS_GetVersion() & 0xFFFF, 1u);
    BASS_INFO info{};
    ASSERT_TRUE(BASS_GetInfo(&info));
    EXPECT_GE(info.dsver, 8u);
    EXPECT_LE(info.latency, 150u);
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_FALSE(BASS_Init(5, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    // Options the program sets are accepted, whether the library uses them or not.
    EXPECT_TRUE(BASS_SetConfig(BASS_CONFIG_BUFFER, 3000));
    EXPECT_TRUE(BASS_SetConfig(0x10200, 1));
    EXPECT_TRUE(BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1));
    EXPECT_TRUE(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 9945));
    EXPECT_FALSE(BASS_SetConfig(BASS_CONFIG_GVOL_MUSIC, 10001));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000));
    // A configured 3 s buffer does not make the queue ahead of the ear longer.
    ASSERT_TRUE(BASS_GetInfo(&info));
    EXPECT_LE(info.latency, 150u);
}

TEST(AudioApi, InvalidHandlesGiveErrorFiveEverywhere) {
    BASS_CHANNELINFO ci;
    char buf[64];
    auto expect5 = [](const char* what) { EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << what; };
    const DWORD stale = BASS_StreamCreateFile(FALSE, toneFile(ramp(1000)).c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(stale, 0u);
    ASSERT_TRUE(BASS_StreamFree(stale));
    for (DWORD h : {DWORD(0), kBogus, stale}) {
        EXPECT_FALSE(BASS_ChannelPlay(h, TRUE)), expect5("play");
        EXPECT_FALSE(BASS_ChannelPause(h)), expect5("pause");
        EXPECT_FALSE(BASS_ChannelStop(h)), expect5("stop");
        EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED)), expect5("active");
        EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1)), expect5("length");
        EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), QWORD(-1)), expect5("position");
        EXPECT_FALSE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE)), expect5("setposition");
        EXPECT_LT(BASS_ChannelBytes2Seconds(h, 100), 0.0), expect5("bytes2seconds");
        EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0), QWORD(-1)), expect5("seconds2bytes");
        EXPECT_EQ(BASS_ChannelGetData(h, buf, sizeof buf), DWORD(-1)), expect5("getdata");
        EXPECT_FALSE(BASS_ChannelGetInfo(h, &ci)), expect5("info");
        EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_OGG), nullptr), expect5("tags");
        EXPECT_FALSE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 1)), expect5("attribute");
        EXPECT_FALSE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 0, 100)), expect5("slide");
        EXPECT_EQ(BASS_ChannelSetSync(
                      h, BASS_SYNC_END, 0, [](HSYNC, DWORD, DWORD, void*) {}, nullptr),
                  0u),
            expect5("setsync");
        EXPECT_FALSE(BASS_ChannelRemoveSync(h, 1)), expect5("removesync");
        EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(-1)), expect5("filepos");
        EXPECT_FALSE(BASS_StreamFree(h)), expect5("streamfree");
        EXPECT_FALSE(BASS_MusicFree(h)), expect5("musicfree");
    }
}

TEST(AudioApi, ErrorCodesArePerThread) {
    std::atomic<int> step{0};
    int otherCode = -2;
    std::thread other([&] {
        BASS_ChannelPlay(kBogus, FALSE);  // error 5 on this thread
        step = 1;
        while (step != 2) std::this_thread::yield();
        otherCode = BASS_ErrorGetCode();
    });
    while (step != 1) std::this_thread::yield();
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u);
    EXPECT_TRUE(BASS_SetConfig(BASS_CONFIG_BUFFER, 500));  // success here clears only this thread's code
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    step = 2;
    other.join();
    EXPECT_EQ(otherCode, BASS_ERROR_HANDLE);
}

TEST(AudioApi, FilesThatCannotBeOpenedFailWithACode) {
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, "/nonexistent/file.mp3", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, ::testing::TempDir().c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    const std::string text = tempPath("text.mp3");
    {
        std::ofstream out(text);
        for (int i = 0; i < 200; ++i) out << "not audio at all, only words\n";
    }
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, text.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(BASS_MusicLoad(FALSE, text.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
    EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
    // A URL nobody answers: a clean failure, not a fake handle.
    EXPECT_EQ(BASS_StreamCreateURL("http://127.0.0.1:1/x.mp3", 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST(AudioApi, DecodingChannelReturnsWholeRequestsAtExactPositions) {
    // The decoder returns at most 1000 frames per read.
    const DWORD h = BASS_StreamCreateFile(FALSE, toneFile(ramp(100000)).c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO ci{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
    EXPECT_EQ(ci.freq, 44100u);
    EXPECT_EQ(ci.chans, 2u);
    EXPECT_EQ(ci.ctype, 0x1F000u);
    EXPECT_EQ(ci.plugin, LibraryTest::plugin);
    EXPECT_TRUE(ci.flags & BASS_STREAM_DECODE);
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 400000u);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
    EXPECT_FALSE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);

    SyncProbe end;
    ASSERT_NE(end.attach(h, BASS_SYNC_END), 0u);
    std::vector<int16_t> buf(200000);
    ASSERT_EQ(BASS_ChannelGetData(h, buf.data(), 40000), 40000u);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(buf[2 * i], tonefile::rampSample16(i)) << i;
        ASSERT_EQ(buf[2 * i + 1], -tonefile::rampSample16(i)) << i;
    }
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 40000u);

    // Seek to exactly one second, and to an odd frame.
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0), 176400u);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, 88200), 0.5);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 176400, BASS_POS_BYTE));
    ASSERT_EQ(BASS_ChannelGetData(h, buf.data(), 8), 8u);
    EXPECT_EQ(buf[0], tonefile::rampSample16(44100));
    EXPECT_EQ(buf[2], tonefile::rampSample16(44101));
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 4 * 77777, BASS_POS_BYTE));
    ASSERT_EQ(BASS_ChannelGetData(h, buf.data(), 4), 4u);
    EXPECT_EQ(buf[0], tonefile::rampSample16(77777));
    EXPECT_FALSE(BASS_ChannelSetPosition(h, 400004, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);

    // The rest, then the end: a short read, then an error, and one end sync.
    ASSERT_EQ(BASS_ChannelGetData(h, buf.data(), 400000), 400000u - 4 * 77778);
    EXPECT_EQ(BASS_ChannelGetData(h, buf.data(), 4000), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_TRUE(waitFor([&] { return end.calls > 0; }, std::chrono::seconds(2)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(end.calls, 1);
    EXPECT_TRUE(end.onLibraryThread);
    // Seeking back revives it.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelGetData(h, buf.data(), 400), 400u);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioApi, EightBitAndFloatChannels) {
    const std::string path = toneFile(ramp(1000));
    const DWORD h8 = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_8BITS);
    const DWORD hf = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const DWORD h16 = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_TRUE(h8 && hf && h16);
    BASS_CHANNELINFO ci{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h8, &ci));
    EXPECT_TRUE(ci.flags & BASS_SAMPLE_8BITS);
    EXPECT_EQ(BASS_ChannelGetLength(h8, BASS_POS_BYTE), 2000u);
    EXPECT_EQ(BASS_ChannelGetLength(hf, BASS_POS_BYTE), 8000u);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h8, 882), 0.01);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(hf, 3528), 0.01);

    uint8_t b8[2000];
    ASSERT_EQ(BASS_ChannelGetData(h8, b8, sizeof b8), 2000u);
    EXPECT_EQ(b8[0], 128);  // silence is 128 in unsigned 8-bit
    EXPECT_EQ(b8[2 * 512], 130);
    EXPECT_EQ(b8[2 * 512 + 1], 126);
    float f[2000];
    ASSERT_EQ(BASS_ChannelGetData(hf, f, sizeof f), 8000u);
    EXPECT_FLOAT_EQ(f[2 * 999], 999.0f / 32768.0f);
    // BASS_DATA_FLOAT asks a 16-bit channel for floats.
    ASSERT_EQ(BASS_ChannelGetData(h16, f, 800 | BASS_DATA_FLOAT), 800u);
    EXPECT_FLOAT_EQ(f[2 * 99 + 1], -99.0f / 32768.0f);
    for (DWORD h : {h8, hf, h16}) EXPECT_TRUE(BASS_StreamFree(h));
}

namespace {
// A user stream's callback: counting 16-bit samples, `total` bytes, handed
// out `chunk` bytes at a time; the last call carries the end flag.
struct Counter {
    uint32_t total;
    uint32_t chunk;
    uint32_t given = 0;
    std::atomic<int> calls{0};
    static DWORD proc(HSTREAM, void* buffer, DWORD length, void* user) {
        auto* c = static_cast<Counter*>(user);
        ++c->calls;
        const uint32_t n = std::min({length, c->chunk, c->total - c->given});
        auto* out = static_cast<uint8_t*>(buffer);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t at = c->given + i;  // byte `at` of a little-endian sample at/2
            const uint16_t sample = uint16_t(at / 2);
            out[i] = uint8_t(at % 2 ? sample >> 8 : sample & 0xFF);
        }
        c->given += n;
        return c->given == c->total ? n | BASS_STREAMPROC_END : n;
    }
};
}  // namespace

TEST(AudioApi, UserStreamEndsAfterTheBytesOfItsEndFlag) {
    Counter c{10000, 3};  // 3-byte pieces: frames arrive split over calls
    const DWORD h = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, &Counter::proc, &c);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO ci{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
    EXPECT_EQ(ci.ctype, DWORD(BASS_CTYPE_STREAM));
    EXPECT_EQ(ci.filename, nullptr);
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1));
    EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTFILE);

    std::vector<uint16_t> buf(10000);
    ASSERT_EQ(BASS_ChannelGetData(h, buf.data(), 400), 400u);
    for (uint16_t i = 0; i < 200; ++i) ASSERT_EQ(buf[i], i);
    ASSERT_EQ(BASS_ChannelGetData(h, buf.data(), 20000), 9600u);  // ends after the last bytes
    EXPECT_EQ(buf[4799], 4999);
    const int calls = c.calls;
    EXPECT_EQ(BASS_ChannelGetData(h, buf.data(), 400), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    EXPECT_EQ(c.calls, calls);  // not asked again after the end
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 10000u);
    EXPECT_TRUE(BASS_StreamFree(h));

    EXPECT_EQ(BASS_StreamCreate(44100, 0, 0, &Counter::proc, &c), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
    EXPECT_EQ(BASS_StreamCreate(0, 2, 0, &Counter::proc, &c), 0u);
    EXPECT_EQ(BASS_StreamCreate(44100, 2, 0, nullptr, nullptr), 0u);
}

TEST(AudioApi, AddOnsRegisterFormatsUntilUnloaded) {
    const std::string add = exeDir() + "/libqtesttone.so";
    EXPECT_EQ(BASS_PluginLoad(add.c_str(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_EQ(BASS_PluginLoad((exeDir() + "/no-such-addon.so").c_str(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_PluginLoad((exeDir() + "/libbass.so").c_str(), 0), 0u);  // no registration function
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_FALSE(BASS_PluginFree(kBogus));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

    const std::string path = toneFile(ramp(50000));
    const DWORD open = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(open, 0u);
    ASSERT_TRUE(BASS_PluginFree(LibraryTest::plugin));
    // The format is gone for new streams, the open one keeps decoding.
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    std::vector<int16_t> buf(20000);
    ASSERT_EQ(BASS_ChannelGetData(open, buf.data(), 40000), 40000u);
    EXPECT_EQ(buf[2 * 9999], tonefile::rampSample16(9999));
    EXPECT_TRUE(BASS_StreamFree(open));
    LibraryTest::plugin = BASS_PluginLoad(add.c_str(), 0);
    ASSERT_NE(LibraryTest::plugin, 0u);
    const DWORD again = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    EXPECT_NE(again, 0u);
    BASS_StreamFree(again);
}

TEST(AudioApi, TagsAndFilePositions) {
    const std::string path = toneFile(ramp(20000));
    const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    const char* tags = BASS_ChannelGetTags(h, BASS_TAG_OGG);
    ASSERT_NE(tags, nullptr);
    EXPECT_STREQ(tags, "TITLE=Tone");
    tags += std::strlen(tags) + 1;
    EXPECT_STREQ(tags, "ARTIST=Quillet");
    tags += std::strlen(tags) + 1;
    EXPECT_STREQ(tags, "");  // the series ends with an empty string
    EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_OGG), BASS_ChannelGetTags(h, BASS_TAG_OGG));
    EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_ID3), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);

    const QWORD size = sizeof(tonefile::Header);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), size);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD), size);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_START), 0u);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, 1000), QWORD(-1));  // not a buffering stream
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioApi, MusicAndStreamsStayApart) {
    tonefile::Header h = ramp(1000);
    h.ctype = BASS_CTYPE_MUSIC_MOD;
    const std::string path = toneFile(h);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    const DWORD music = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_PRESCAN | BASS_MUSIC_DECODE, 0);
    ASSERT_NE(music, 0u);
    EXPECT_FALSE(BASS_StreamFree(music));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelGetLength(music, BASS_POS_BYTE), 4000u);
    EXPECT_TRUE(BASS_MusicFree(music));
    const DWORD stream = BASS_StreamCreateFile(FALSE, toneFile(ramp(10), "s.qtone").c_str(), 0, 0, 0);
    ASSERT_NE(stream, 0u);
    EXPECT_FALSE(BASS_MusicFree(stream));
    EXPECT_TRUE(BASS_StreamFree(stream));
}

TEST(AudioApi, MemoryFilesDecodeLikeFiles) {
    tonefile::Header h = ramp(5000);
    const DWORD s = BASS_StreamCreateFile(TRUE, &h, 0, sizeof h, BASS_STREAM_DECODE);
    ASSERT_NE(s, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelGetLength(s, BASS_POS_BYTE), 20000u);
    EXPECT_TRUE(BASS_StreamFree(s));
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, &h, 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST(AudioApi, SyncsAreRemovedAndOneTimeSyncsFireOnce) {
    const std::string path = toneFile(ramp(2000));
    const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_LOOP);
    ASSERT_NE(h, 0u);
    SyncProbe once, removed, every, freed;
    ASSERT_NE(once.attach(h, BASS_SYNC_END | BASS_SYNC_ONETIME), 0u);
    ASSERT_NE(freed.attach(h, BASS_SYNC_FREE), 0u);
    const HSYNC r = removed.attach(h, BASS_SYNC_END);
    ASSERT_NE(every.attach(h, BASS_SYNC_END), 0u);
    EXPECT_TRUE(BASS_ChannelRemoveSync(h, r));
    EXPECT_FALSE(BASS_ChannelRemoveSync(h, r));
    for (DWORD unsupported : {0u, 6u, 99u}) {
        EXPECT_EQ(BASS_ChannelSetSync(h, unsupported, 0, &SyncProbe::onSync, &every), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    }
    EXPECT_NE(BASS_ChannelSetSync(h, BASS_SYNC_META, 0, &SyncProbe::onSync, &every), 0u);
    EXPECT_NE(BASS_ChannelSetSync(h, BASS_SYNC_DOWNLOAD, 0, &SyncProbe::onSync, &every), 0u);
    // A looping channel goes on past its end three times.
    std::vector<int16_t> buf(2 * 7000);
    ASSERT_EQ(BASS_ChannelGetData(h, buf.data(), 4 * 7000), 4u * 7000);
    EXPECT_EQ(buf[2 * 2000], 0);
    EXPECT_EQ(buf[2 * 6001], 1);
    EXPECT_TRUE(waitFor([&] { return every.calls == 3; }, std::chrono::seconds(2)));
    EXPECT_EQ(once.calls, 1);
    EXPECT_EQ(removed.calls, 0);
    EXPECT_EQ(freed.calls, 0);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_TRUE(waitFor([&] { return freed.calls == 1; }, std::chrono::seconds(2)));
}

TEST(AudioApi, HandlesSurviveConcurrentUseAndFreeing) {
    const std::string path = toneFile(ramp(100000));
    std::atomic<DWORD> latest{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t) {
        users.emplace_back([&] {
            std::vector<int16_t> buf(4096);
            while (!stop) {
                const DWORD h = latest.load();
                BASS_ChannelGetData(h, buf.data(), 4096);
                BASS_ChannelGetPosition(h, BASS_POS_BYTE);
                BASS_ChannelIsActive(h);
                BASS_ChannelSetPosition(h, 400, BASS_POS_BYTE);
                BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 0.5f, 20);
                BASS_ChannelGetTags(h, BASS_TAG_OGG);
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_NE(h, 0u);
        latest = h;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        EXPECT_TRUE(BASS_StreamFree(h));
    }
    stop = true;
    for (auto& t : users) t.join();
}
