// BASS_StreamCreateURL against the local servers of net_server.py: radios
// with ICY metadata, files with and without a length, servers that are
// slow, cut, silent or malformed, and playlists.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"
#include "tests/net/NetServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// The suite's one local server, started once for all its cases.
std::unique_ptr<NetServer> g_server;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

std::string url(const std::string& path) {
    return g_server->url(path);
}

// The strings of a tag series.
std::vector<std::string> seriesOf(const char* p) {
    std::vector<std::string> out;
    while (p && *p) {
        out.emplace_back(p);
        p += out.back().size() + 1;
    }
    return out;
}

bool hasEntry(const char* series, const std::string& text) {
    for (const auto& s : seriesOf(series))
        if (s == text) return true;
    return false;
}

// Decodes up to `seconds` of a decoding channel; returns the seconds got.
double decode(DWORD h, double seconds) {
    std::vector<char> buf(44100 * 4 / 10);
    double got = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(int(seconds * 1000) + 15000);
    while (got < seconds && Clock::now() < end) {
        const DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
        if (n == DWORD(-1)) break;
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        got += BASS_ChannelBytes2Seconds(h, n);
    }
    return got;
}

struct SyncCount {
    std::atomic<int> calls{0};
    static void proc(HSYNC, DWORD, DWORD, void* user) { ++static_cast<SyncCount*>(user)->calls; }
};

template <typename Pred>
bool waitUntil(Pred pred, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (Clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class NetStream : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_server = std::make_unique<NetServer>();
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
        // Short timeouts, so the dead-server cases take seconds.
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 2000);
        BASS_SetConfig(BASS_CONFIG_NET_READTIMEOUT, 1500);
        BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
    }
    static void TearDownTestSuite() {
        BASS_Free();
        g_server.reset();
    }
    HSTREAM open(const std::string& path, DWORD flags = BASS_STREAM_DECODE) {
        return BASS_StreamCreateURL(url(path).c_str(), 0, flags, nullptr, nullptr);
    }
};

TEST_F(NetStream, AnIcyRadioDecodesWithItsHeadersAndTitles) {
    const HSTREAM h = open("/radio?burst=3");
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_MP3));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    const char* icy = BASS_ChannelGetTags(h, BASS_TAG_ICY);
    EXPECT_TRUE(hasEntry(icy, "ICY 200 OK"));
    EXPECT_TRUE(hasEntry(icy, "icy-br: 128"));
    EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_HTTP), nullptr);
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1));  // a live stream has no length

    static SyncCount meta;
    meta.calls = 0;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_META, 0, SyncCount::proc, &meta), 0u);
    EXPECT_GT(decode(h, 4.0), 3.9);
    EXPECT_TRUE(waitUntil([&] { return meta.calls >= 2; }, 3000)) << meta.calls;
    const char* title = BASS_ChannelGetTags(h, BASS_TAG_META);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(std::string(title), "StreamTitle='Artist - Song 1';StreamUrl='';");
    // A text handed out stays as it was while the next titles arrive.
    EXPECT_GT(decode(h, 2.5), 2.4);
    EXPECT_NE(std::string(BASS_ChannelGetTags(h, BASS_TAG_META)), std::string(title));
    EXPECT_EQ(std::string(title), "StreamTitle='Artist - Song 1';StreamUrl='';");
    // The network buffer of a 128 kbit/s stream: three seconds of it.
    EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), 3u * 16000u);
    EXPECT_GE(BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD),
              BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT));
    EXPECT_FALSE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE));
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST_F(NetStream, AnOggRadioAndPlaylistsAndRedirectsReachTheStream) {
    const HSTREAM ogg = open("/radio-ogg?burst=3");
    ASSERT_NE(ogg, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(ogg, &info);
    EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_OGG));
    EXPECT_EQ(BASS_ChannelGetTags(ogg, BASS_TAG_ICY), nullptr);
    EXPECT_TRUE(hasEntry(BASS_ChannelGetTags(ogg, BASS_TAG_HTTP), "HTTP/1.0 200 OK"));
    EXPECT_GT(decode(ogg, 1.5), 1.4);
    const char* title = BASS_ChannelGetTags(ogg, BASS_TAG_META);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(std::string(title).rfind("StreamTitle='Artist - Song ", 0), 0u) << title;
    BASS_StreamFree(ogg);

    for (const char* path : {"/radio.pls?burst=2", "/radio.m3u?burst=2", "/redirect"}) {
        const HSTREAM h = open(path);
        ASSERT_NE(h, 0u) << path << " " << BASS_ErrorGetCode();
        BASS_CHANNELINFO i{};
        BASS_ChannelGetInfo(h, &i);
        EXPECT_EQ(i.ctype, DWORD(BASS_CTYPE_STREAM_MP3)) << path;
        EXPECT_TRUE(hasEntry(BASS_ChannelGetTags(h, BASS_TAG_ICY), "ICY 200 OK")) << path;
        BASS_StreamFree(h);
    }
    // Without the option a playlist is just a file of an unknown format.
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 0);
    EXPECT_EQ(open("/radio.pls"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
}

TEST_F(NetStream, AFileBecomesSeekableWithItsExactLengthWhenItHasArrived) {
    for (const char* path : {"/files/file.mp3", "/nolength/file.mp3", "/files/file.ogg"}) {
        SCOPED_TRACE(path);
        const HSTREAM h = open(path);
        ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
        const auto complete = [&] {
            return BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD) ==
                   BASS_StreamGetFilePosition(h, BASS_FILEPOS_END);
        };
        ASSERT_TRUE(waitUntil(complete, 5000));
        const double length = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE));
        EXPECT_NEAR(length, 6.0, 0.06);
        ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 4.0), BASS_POS_BYTE));
        EXPECT_NEAR(decode(h, 10.0), 2.0, 0.06);  // from 4 s to the end
        BASS_StreamFree(h);
    }
    const HSTREAM mp3 = open("/files/file.mp3");
    EXPECT_NE(BASS_ChannelGetTags(mp3, BASS_TAG_ID3V2), nullptr);  // at the start: there at once
    // The ID3v1 tag at the end is read once the whole file is there.
    EXPECT_TRUE(waitUntil([&] { return BASS_ChannelGetTags(mp3, BASS_TAG_ID3) != nullptr; }, 5000));
    EXPECT_EQ(BASS_StreamGetFilePosition(mp3, BASS_FILEPOS_END), 97237u);
    BASS_StreamFree(mp3);
    const HSTREAM ogg = open("/files/file.ogg");
    const char* oggTags = BASS_ChannelGetTags(ogg, BASS_TAG_OGG);
    ASSERT_NE(oggTags, nullptr) << BASS_ErrorGetCode();
    const auto tags = seriesOf(oggTags);
    EXPECT_NE(std::find(tags.begin(), tags.end(), "TITLE=Ogg Title"), tags.end());
    EXPECT_NE(std::find(tags.begin(), tags.end(), "ARTIST=Ogg Artist"), tags.end());
    BASS_StreamFree(ogg);
}

TEST_F(NetStream, ASlowFileStallsThenFinishesAndTheDownloadSyncFires) {
    const HSTREAM h = open("/slow/file.mp3");
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    static SyncCount done;
    done.calls = 0;
    BASS_ChannelSetSync(h, BASS_SYNC_DOWNLOAD, 0, SyncCount::proc, &done);
    EXPECT_FALSE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 1.0), BASS_POS_BYTE));
    std::vector<char> buf(4096);
    int shortReads = 0;
    double got = 0;
    while (done.calls == 0 && got < 10) {
        const DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
        // A slow machine may decode the whole file before it sees the sync's call:
        // the stream has then ended, which is no error.
        if (n == DWORD(-1)) {
            ASSERT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
            break;
        }
        if (n < buf.size()) ++shortReads;  // waiting for the network, not blocked on it
        got += BASS_ChannelBytes2Seconds(h, n);
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GT(shortReads, 0);
    EXPECT_TRUE(waitUntil([&] { return done.calls == 1; }, 15000));
    EXPECT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 1.0), BASS_POS_BYTE));
    BASS_StreamFree(h);
}

TEST_F(NetStream, ACutOrMalformedStreamEndsOrPlaysWithoutHangingOrGrowing) {
    const HSTREAM cut = open("/cut/file.mp3");
    ASSERT_NE(cut, 0u);
    static SyncCount done;
    done.calls = 0;
    BASS_ChannelSetSync(cut, BASS_SYNC_DOWNLOAD, 0, SyncCount::proc, &done);
    const double got = decode(cut, 10.0);
    EXPECT_GT(got, 1.0);
    EXPECT_LT(got, 3.0);  // about a third of the 6 s file
    EXPECT_EQ(done.calls, 0);
    BASS_StreamFree(cut);

    const HSTREAM bad = open("/badmeta?burst=2");
    ASSERT_NE(bad, 0u) << BASS_ErrorGetCode();
    static SyncCount meta;
    meta.calls = 0;
    BASS_ChannelSetSync(bad, BASS_SYNC_META, 0, SyncCount::proc, &meta);
    EXPECT_GT(decode(bad, 3.0), 2.9);
    EXPECT_GE(meta.calls, 3);
    const char* text = BASS_ChannelGetTags(bad, BASS_TAG_META);
    ASSERT_NE(text, nullptr);
    EXPECT_LE(std::string(text).size(), 4080u);
    BASS_StreamFree(bad);
}

TEST_F(NetStream, DeadAndRefusingServersFailWithinTheTimeouts) {
    struct Case {
        std::string url;
        int error;
        int withinMs;
    };
    const Case cases[] = {
        {url("/silent"), BASS_ERROR_TIMEOUT, 5000},
        {url("/endless-headers"), BASS_ERROR_FILEFORM, 3000},
        {url("/missing"), BASS_ERROR_FILEOPEN, 3000},
        {"http://127.0.0.1:1/radio", BASS_ERROR_FILEOPEN, 3000},
        {url("/radio.pls").replace(0, 4, "ftp"), BASS_ERROR_FILEOPEN, 3000},
        // No add-on takes "mms://" here: a clean failure.
        {"mms://127.0.0.1:1/radio", BASS_ERROR_FILEOPEN, 3000},
    };
    for (const auto& c : cases) {
        const auto start = Clock::now();
        EXPECT_EQ(BASS_StreamCreateURL(c.url.c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr), 0u) << c.url;
        EXPECT_EQ(BASS_ErrorGetCode(), c.error) << c.url;
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(c.withinMs)) << c.url;
    }
}

TEST_F(NetStream, FreeingAStalledStreamReturnsPromptlyAndTheBufferFillsAtTheStreamsRate) {
    const HSTREAM h = open("/radio");  // no burst: the audio arrives at its own rate
    ASSERT_NE(h, 0u);
    const auto start = Clock::now();
    const auto filled = [&] {
        const QWORD end = BASS_StreamGetFilePosition(h, BASS_FILEPOS_END);
        const QWORD ahead = BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD) -
                            BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
        return ahead * 100 / end > 75;
    };
    EXPECT_TRUE(waitUntil(filled, 8000));
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(took, 1.0);  // it did wait for the audio to arrive
    // Never much more than the buffer ahead of the reader (the decoder's
    // look-ahead and one block of the transfer aside).
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const QWORD ahead = BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD) -
                        BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
    EXPECT_LE(ahead, BASS_StreamGetFilePosition(h, BASS_FILEPOS_END) + 40000);

    // A playing channel of a stalled source: freeing does not wait for the network.
    const HSTREAM slow = open("/slow/file.mp3", 0);
    ASSERT_NE(slow, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(slow, FALSE));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto freeStart = Clock::now();
    EXPECT_TRUE(BASS_StreamFree(slow));
    EXPECT_LT(Clock::now() - freeStart, std::chrono::milliseconds(1000));
    EXPECT_TRUE(BASS_StreamFree(h));
}

}  // namespace
