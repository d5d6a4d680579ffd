// The engine's network streams against the local servers of
// tests/net/net_server.py: live radios with changing titles, files that
// arrive while they play, dead servers and the bounded wait for a buffer.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/WinApi.h"
#include "tests/engine/EngineTest.h"
#include "tests/net/NetServer.h"

using namespace enginetest;

namespace {

std::unique_ptr<NetServer> g_server;

class EngineNetwork : public EngineTest {
  protected:
    static void SetUpTestSuite() { g_server = std::make_unique<NetServer>(); }
    static void TearDownTestSuite() { g_server.reset(); }
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(engine->BASSReady());
        // Short enough that a dead server takes seconds; long enough for the
        // slowest server of these tests to send its next block.
        Bass.BASS_SetConfig(BASS_CONFIG_NET_READTIMEOUT, 8000);
        Bass.BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 2000);
        engine->OnGetMeta = [this](TVAVIVerovu*, const std::string& t) { titles.push_back(t); };
        engine->OnDownloaded = [this](TVAVIVerovu*, uint32_t ms) { downloaded.push_back(ms); };
    }
    std::string url(const std::string& path) const { return g_server->url(path); }

    std::vector<std::string> titles;
    std::vector<uint32_t> downloaded;
};

// The song number of "Artist - Song N" or "电台 - 歌曲 N".
int songNumber(const std::string& title) {
    const size_t space = title.rfind(' ');
    return space == std::string::npos ? -1 : std::atoi(title.c_str() + space + 1);
}

TEST_F(EngineNetwork, ALiveRadioPlaysWithItsTitlesInOrderAndReopensOnResume) {
    const std::string radio = url("/radio?burst=4");
    ASSERT_TRUE(engine->Open(radio)) << ::testing::PrintToString(boxTexts());
    EXPECT_FALSE(engine->CanSeek());
    EXPECT_EQ(engine->StreamInfo().BitRate, 128u);
    EXPECT_EQ(engine->DecoderName(), kBassLibrary);
    EXPECT_EQ(engine->PlayLength(), 0u);
    engine->Play();
    ASSERT_EQ(engine->Mode(), plmPlaying);
    // Titles change every 2 s of audio; the third of every three is GBK.
    ASSERT_TRUE(pumpUntil([&] { return titles.size() >= 2; }, 10000)) << titles.size();
    for (size_t i = 1; i < titles.size(); ++i)
        EXPECT_EQ(songNumber(titles[i]), songNumber(titles[i - 1]) + 1);
    bool sawChinese = false;
    for (const auto& t : titles) {
        if (songNumber(t) % 3 == 2) {
            EXPECT_EQ(t, "电台 - 歌曲 " + std::to_string(songNumber(t)));
            sawChinese = true;
        } else {
            EXPECT_EQ(t, "Artist - Song " + std::to_string(songNumber(t)));
        }
    }
    EXPECT_TRUE(sawChinese || titles.size() < 3);
    EXPECT_EQ(engine->StreamInfo().Title, titles.back());

    // Seeking does nothing; resuming opens the station afresh.
    const uint32_t before = engine->Position();
    engine->SetPosition(0);
    EXPECT_GE(engine->Position(), before);
    engine->Pause(true);
    ASSERT_EQ(engine->Mode(), plmPaused);
    clearEvents();
    engine->Pause(false);
    EXPECT_EQ(engine->Mode(), plmPlaying);
    EXPECT_EQ(engine->StreamName(), radio);
    EXPECT_EQ(events, (std::vector<std::string>{"plmPaused>plmStandby", "plmStandby>plmReady",
                                                "plmReady>plmPlaying"}));
    // Played again after a stop: the same.
    engine->Stop();
    clearEvents();
    engine->Play();
    EXPECT_EQ(engine->Mode(), plmPlaying);
    EXPECT_EQ(events, (std::vector<std::string>{"plmStopped>plmStandby", "plmStandby>plmReady",
                                                "plmReady>plmPlaying"}));
    EXPECT_FALSE(engine->Muted());
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(EngineNetwork, AFileThatArrivesWhilePlayingBecomesSeekableAndReportsItsDownload) {
    ASSERT_TRUE(engine->Open(url("/paced/file.mp3")));
    EXPECT_FALSE(engine->CanSeek());
    EXPECT_EQ(engine->StreamInfo().Title, "file");  // from the URL until the tags are there
    EXPECT_EQ(engine->StreamInfo().FileSize, 97237u);
    engine->Play();
    ASSERT_EQ(engine->Mode(), plmPlaying);
    engine->SetPosition(3000);  // not yet: ignored
    EXPECT_LT(engine->Position(), 2000u);
    ASSERT_TRUE(pumpUntil([&] { return !downloaded.empty(); }, 15000));
    ASSERT_EQ(downloaded.size(), 1u);
    EXPECT_NEAR(double(downloaded[0]), 6000.0, 60.0);
    EXPECT_TRUE(engine->CanSeek());
    EXPECT_EQ(engine->StreamInfo().Title, "Net File");  // from the ID3 tag once it arrived
    EXPECT_EQ(engine->StreamInfo().Artist, "Net Artist");
    if (engine->Mode() != plmPlaying) engine->Play();
    engine->SetPosition(4000);
    EXPECT_NEAR(double(engine->Position()), 4000.0, 300.0);
}

TEST_F(EngineNetwork, AFileThatArrivedAtOnceIsSeekableAtOnceAndOggTagsFillTheInformation) {
    ASSERT_TRUE(engine->Open(url("/files/file.ogg")));
    // The whole file comes in one go; on a busy machine its last bytes may still
    // be on their way when the stream is open, and then the download reports.
    const bool atOnce = engine->CanSeek();
    if (!atOnce) {
        ASSERT_TRUE(pumpUntil([&] { return !downloaded.empty(); }, 5000));
    }
    EXPECT_TRUE(engine->CanSeek());
    const TStreamInfo& info = engine->StreamInfo();
    EXPECT_EQ(info.Title, "Ogg Title");
    EXPECT_EQ(info.Artist, "Ogg Artist");
    EXPECT_EQ(info.Album, "Ogg Album");
    EXPECT_EQ(info.Genre, "Ogg Genre");
    EXPECT_NEAR(double(info.Duration), 6000.0, 60.0);
    EXPECT_EQ(info.FileSize, 20138u);
    engine->Play();
    pumpFor(300);
    engine->SetPosition(5000);
    EXPECT_NEAR(double(engine->Position()), 5000.0, 300.0);
    if (atOnce) {
        EXPECT_TRUE(downloaded.empty());  // no download sync for what was complete
    }
}

TEST_F(EngineNetwork, DeadServersAndUnfilledBuffersEndInTheirMessages) {
    const std::string silent = url("/silent");
    EXPECT_FALSE(engine->Open(silent));
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Invalid or unsupported URL stream.\n -> " + silent}));
    EXPECT_EQ(engine->Mode(), plmStandby);

    // 800 bytes a second of a 16000-byte-a-second stream: its buffer does not
    // fill in 15 s. Meanwhile the thread's messages are handled.
    ASSERT_TRUE(engine->Open(url("/radio?burst=2&rate=0.05")));
    static int ticks;
    ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
    const auto start = std::chrono::steady_clock::now();
    engine->Play();
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(engine->Mode(), plmReady);
    EXPECT_EQ(boxTexts().back(), "Error at buffering process.");
    EXPECT_GT(waited, 14.0);
    EXPECT_LT(waited, 25.0);
    KillTimer(nullptr, timer);
    EXPECT_GT(ticks, 50);  // the timer kept running during the wait
}

}  // namespace
