// Opening, playing, pausing, seeking and the end of a track, with the events they
// fire, on device 0 through the fed output (the default) and in single-channel mode.
#include <cmath>
#include <cstdio>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/MessageLayer.h"
#include "plugins/PluginHost.h"
#include "tests/engine/EngineTest.h"

using namespace enginetest;

namespace {

using Events = std::vector<std::string>;

TEST_F(EngineTest, ConstructsOnTheLoadedLibrary) {
    EXPECT_EQ(engine->Version(), "2.10.0");
    EXPECT_EQ(engine->BASSDLLVer(), "2.4.0.1");
    EXPECT_TRUE(engine->BufferReady());
    EXPECT_TRUE(engine->DX8EffectReady());
    EXPECT_FALSE(engine->SingleChannel());
    EXPECT_EQ(engine->Mode(), plmStandby);
    EXPECT_EQ(engine->Volume(), 255u);
    EXPECT_NE(engine->MessageWindow(), nullptr);
    EXPECT_GE(engine->SendingDataMessage(), UINT(MSG_REGISTERED_FIRST));
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(EngineTest, OpeningFiresStandbyThenReadyAndStripsQuotes) {
    const std::string a = writeSineWav("a.wav", 1.0), b = writeSineWav("b.wav", 1.0);
    ASSERT_TRUE(engine->Open("\"" + a + "\""));
    EXPECT_EQ(engine->StreamName(), a);
    EXPECT_EQ(engine->StreamInfo().FileName, a);
    EXPECT_EQ(engine->StreamKind(), skStream);
    EXPECT_EQ(engine->DecoderName(), "libbass.so");
    EXPECT_EQ(events, (Events{"plmStandby>plmReady"}));
    clearEvents();
    ASSERT_TRUE(engine->Open(b));
    EXPECT_EQ(events, (Events{"plmReady>plmStandby", "plmStandby>plmReady"}));
    EXPECT_EQ(engine->StreamName(), b);
    EXPECT_EQ(engine->PlayLength(), 1000u);
}

TEST_F(EngineTest, StreamInfoOfTheOpenStreamIsTheEnginesRecord) {
    const std::string open = writeSineWav("open.wav", 1.0), other = writeSineWav("other.wav", 2.0);
    ASSERT_TRUE(engine->Open(open));
    // Gone from the disk: only the engine's own record can answer for it now.
    ASSERT_EQ(std::remove(open.c_str()), 0);
    TStreamInfo info;
    EXPECT_TRUE(engine->GetStreamInfo(open, info));
    EXPECT_EQ(info, engine->StreamInfo());
    EXPECT_EQ(info.Duration, 1000u);
    EXPECT_TRUE(engine->GetStreamInfo(other, info));  // any other name is inspected
    EXPECT_EQ(info.FileName, other);
    EXPECT_EQ(info.Duration, 2000u);
    engine->Close();
    EXPECT_FALSE(engine->GetStreamInfo(open, info));  // no longer open: inspected, and gone
}

TEST_F(EngineTest, RefusesWhatItCannotOpenAndKeepsTheOpenStream) {
    const std::string a = writeSineWav("a.wav", 1.0);
    ASSERT_TRUE(engine->Open(a));
    clearEvents();
    EXPECT_FALSE(engine->Open("/no/such/file.mp3"));
    EXPECT_FALSE(engine->Open(writeSineWav("nine.wav", 0.2, 9)));
    EXPECT_FALSE(engine->Open("http://127.0.0.1:9/stream.mp3"));
    EXPECT_EQ(boxTexts(), (Events{"Invalid or unsupported stream file.\n -> /no/such/file.mp3",
                                  "Channel count exceeds. (Max Channels : 8)\n -> " + writeSineWav("nine.wav", 0.2, 9),
                                  "Invalid or unsupported URL stream.\n -> http://127.0.0.1:9/stream.mp3"}));
    EXPECT_EQ(boxes->boxes().front().caption, "Error");
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(engine->Mode(), plmReady);
    EXPECT_EQ(engine->StreamName(), a);
}

TEST_F(EngineTest, OpenWhilePlayingFailsAndResumesHalfASecondEarlier) {
    openAndPlay(writeSineWav("long.wav", 10.0));
    pumpFor(2000);
    clearEvents();
    const uint32_t before = engine->Position();
    // Where the fade left the stream: the position the resume rewinds from.
    uint32_t pausedAt = 0;
    const auto recordModes = engine->OnModeChange;
    engine->OnModeChange = [&](TVAVIVerovu* sender, TPlayerMode from, TPlayerMode to) {
        if (to == plmPaused) pausedAt = sender->Position();
        recordModes(sender, from, to);
    };
    // The header reader knows AAC, the library does not play it.
    const std::string aac = std::string(QUILLET_FIXTURES) + "/media/headers/adts.aac";
    EXPECT_FALSE(engine->Open(aac));
    EXPECT_EQ(boxTexts(), (Events{"Invalid or unsupported stream file.\n -> " + aac}));
    // Paused with a fade, then resumed 500 ms before the pause point.
    EXPECT_EQ(events, (Events{"plmPlaying>plmPaused", "plmPaused>plmPlaying"}));
    const uint32_t after = engine->Position();
    EXPECT_GE(pausedAt, before);
    EXPECT_NEAR(double(after), double(pausedAt) - 500.0, 100.0) << "paused at " << pausedAt;
    EXPECT_EQ(engine->Mode(), plmPlaying);
}

TEST_F(EngineTest, OpenWhilePlayingPausesClosesAndOpens) {
    openAndPlay(writeSineWav("long.wav", 10.0));
    pumpFor(300);
    clearEvents();
    ASSERT_TRUE(engine->Open(writeSineWav("next.wav", 2.0)));
    EXPECT_EQ(events, (Events{"plmPlaying>plmPaused", "plmPaused>plmStandby", "plmStandby>plmReady"}));
    EXPECT_FALSE(engine->Muted());
    engine->Play();
    EXPECT_EQ(engine->Mode(), plmPlaying);
}

TEST_F(EngineTest, PlaysToTheEndThenRestartsFromTheBeginning) {
    openAndPlay(writeSineWav("short.wav", 0.8));
    EXPECT_NE(engine->OutputChannel(), engine->DecodeChannel());  // the fed output
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && events.back() == "end"; }, 5000));
    EXPECT_EQ(events, (Events{"plmStandby>plmReady", "plmReady>plmPlaying", "plmPlaying>plmStopped", "end"}));
    clearEvents();
    engine->Pause(true);  // nothing to pause
    EXPECT_TRUE(events.empty());
    engine->Play();
    EXPECT_EQ(events, (Events{"plmStopped>plmPlaying"}));
    pumpFor(100);
    EXPECT_LT(engine->Position(), 500u);
    engine->Pause(false);  // playing: nothing to resume
    EXPECT_EQ(events.size(), 1u);
    ASSERT_TRUE(pumpUntil([&] { return events.back() == "end"; }, 5000));
}

TEST_F(EngineTest, PositionFollowsTheClock) {
    const std::string path = writeSineWav("long.wav", 10.0);
    ASSERT_TRUE(engine->Open(path));
    engine->Play();
    const auto start = std::chrono::steady_clock::now();
    uint32_t last = 0;
    bool backwards = false;
    // Right after the start the ring holds more than was heard: the position stays
    // small instead of wrapping round.
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500)) {
        const uint32_t p = engine->Position();
        ASSERT_LE(p, 2500u);
        backwards |= p + 60 < last;
        last = std::max(last, p);
        quillet::win::ProcessMessages();
    }
    EXPECT_FALSE(backwards);
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NEAR(double(engine->Position()), wall, 300.0);
}

TEST_F(EngineTest, PositionNeverGoesNegativeWhenTheRingHoldsMoreThanWasDecoded) {
    openAndPlay(writeSineWav("long.wav", 10.0));
    pumpFor(500);
    engine->Pause(true);
    ASSERT_GT(BufferedOutputBytes(), 0u);
    // The source moved back behind the engine's back: the ring now holds more than
    // the source has decoded.
    ASSERT_TRUE(Bass.BASS_ChannelSetPosition(engine->DecodeChannel(), 0, BASS_POS_BYTE));
    EXPECT_EQ(engine->Position(), 0u);
}

TEST_F(EngineTest, SeeksWithinTheStreamOnly) {
    openAndPlay(writeSineWav("long.wav", 10.0));
    pumpFor(300);
    const uint32_t before = engine->Position();
    engine->SetPosition(20000);  // beyond the length: ignored, without a fade
    EXPECT_FALSE(engine->Fading());
    EXPECT_FALSE(engine->Muted());
    EXPECT_NEAR(double(engine->Position()), double(before), 150.0);
    engine->SetPosition(6000);
    EXPECT_EQ(engine->Mode(), plmPlaying);
    pumpFor(200);
    EXPECT_NEAR(double(engine->Position()), 6100.0, 250.0);
    EXPECT_TRUE(pumpUntil([&] { return !engine->Fading(); }, 2000));
    EXPECT_FALSE(engine->Muted());
}

TEST_F(EngineTest, StaleEndOfAnEarlierStreamIsIgnored) {
    openAndPlay(writeSineWav("a.wav", 5.0));
    const DWORD earlier = engine->DecodeChannel();
    ASSERT_TRUE(engine->Open(writeSineWav("b.wav", 5.0)));
    engine->Play();
    clearEvents();
    PostMessage(engine->MessageWindow(), WM_STREAM_END, earlier, 0);
    pumpFor(300);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(engine->Mode(), plmPlaying);
}

TEST_F(EngineTest, PauseDuringTheLastMomentsDefersTheEnd) {
    // Muted at once, so pausing needs no fade and lands while the output drains.
    openAndPlay(writeSineWav("end.wav", 1.5));
    engine->SetMuted(true, 0);
    static TVAVIVerovu* target = nullptr;
    static bool paused = false;
    target = engine.get();
    paused = false;
    // The decoder ends some hundred ms before the sound does; pause right then,
    // from a timer, since the end handler is draining in a wait of its own.
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
        if (!paused && Bass.BASS_ChannelIsActive(target->DecodeChannel()) == BASS_ACTIVE_STOPPED) {
            paused = true;
            target->Pause(true);
        }
    });
    ASSERT_TRUE(pumpUntil([] { return paused; }, 5000));
    KillTimer(nullptr, timer);
    pumpFor(1000);
    EXPECT_EQ(engine->Mode(), plmPaused);
    EXPECT_EQ(std::count(events.begin(), events.end(), "end"), 0);
    engine->Pause(false);
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && events.back() == "end"; }, 5000));
    EXPECT_EQ(std::count(events.begin(), events.end(), "end"), 1);
}

TEST_F(EngineTest, ClosingReturnsToStandby) {
    openAndPlay(writeSineWav("a.wav", 3.0));
    clearEvents();
    engine->Close();
    EXPECT_EQ(events, (Events{"plmPlaying>plmStandby"}));
    EXPECT_EQ(engine->StreamName(), "");
    EXPECT_EQ(engine->Position(), 0u);
    EXPECT_EQ(engine->PlayLength(), 0u);
    EXPECT_EQ(BufferedOutputBytes(), 0u);
    engine->Close();  // nothing open: nothing happens
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(EngineTest, SingleChannelModeResumesWhereItPaused) {
    engine->SetSingleChannel(true);
    EXPECT_FALSE(engine->SingleChannel());  // takes effect at the next Open
    openAndPlay(writeSineWav("long.wav", 10.0));
    EXPECT_TRUE(engine->SingleChannel());
    EXPECT_EQ(engine->OutputChannel(), engine->DecodeChannel());
    pumpFor(1500);
    engine->Pause(true);
    const uint32_t pausedAt = engine->Position();
    engine->Pause(false);
    EXPECT_NEAR(double(engine->Position()), double(pausedAt) - 500.0, 200.0);
    engine->Stop();
    EXPECT_EQ(engine->Mode(), plmStopped);
    engine->Play();
    EXPECT_LT(engine->Position(), 300u);
}

TEST_F(EngineTest, AnswersTheEndOfSessionQueryWhilePlaying) {
    openAndPlay(writeSineWav("a.wav", 3.0));
    EXPECT_EQ(SendMessage(engine->MessageWindow(), WM_QUERYENDSESSION, 0, 0), 1);
}

TEST_F(EngineTest, FedOutputLosingItsSourceClosesTheStream) {
    openAndPlay(writeSineWav("a.wav", 5.0));
    clearEvents();
    PostMessage(engine->MessageWindow(), WM_FEED_CHANNEL_LOST, 0, 0);
    pumpFor(100);
    EXPECT_EQ(boxTexts().back(), "Decoding Channel is unavailable by any reasons.\nOpened stream is beging closed.");
    EXPECT_EQ(events, (Events{"plmPlaying>plmStandby"}));
}

}  // namespace

namespace {

TEST_F(EngineTest, RegisteredMessageCodesReachTheirEvents) {
    std::vector<std::pair<std::string, uint32_t>> got;
    engine->OnUpdatePlayList = [&](TVAVIVerovu*, uint32_t p) { got.emplace_back("playlist", p); };
    engine->OnMBWindowShow = [&](TVAVIVerovu*, uint32_t p) { got.emplace_back("browser", p); };
    engine->OnGenWindowShow = [&](TVAVIVerovu*, uint32_t p) { got.emplace_back("drawer", p); };
    engine->OnPluginRequest = [&](TVAVIVerovu*, uint32_t p) { got.emplace_back("plugin", p); };
    const UINT msg = engine->SendingDataMessage();
    PostMessage(engine->MessageWindow(), msg, 58, 7);
    PostMessage(engine->MessageWindow(), msg, 95, 0);
    PostMessage(engine->MessageWindow(), msg, 96, 0);
    PostMessage(engine->MessageWindow(), msg, 97, 3);
    PostMessage(engine->MessageWindow(), msg, 12345, 3);  // unknown: ignored
    PostMessage(engine->MessageWindow(), WM_PLUGIN_REQUEST, 9, 0);
    pumpFor(50);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, uint32_t>>{
                       {"playlist", 7}, {"browser", 5}, {"browser", 0}, {"drawer", 3}, {"plugin", 9}}));
}

}  // namespace

namespace {

TEST_F(EngineTest, AQuitDuringAFadeIsRememberedForTheLoop) {
    openAndPlay(writeSineWav("a.wav", 5.0));
    PostQuitMessage(4);
    engine->Pause(true);  // its fade wait meets the quit and goes on
    EXPECT_EQ(engine->Mode(), plmPaused);
    EXPECT_TRUE(quillet::win::QuitRequested());
    MSG msg;
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), FALSE);  // the loop ends now
    EXPECT_FALSE(quillet::win::QuitRequested());
}

}  // namespace
