// The engine with a visualisation plug-in: the scale, starting the recording plug-in
// while a tone plays, the data it gets, pausing, ending and restarting it.
#include <algorithm>

#include "plugins/VisDriver.h"
#include "plugins/WinampVis.h"
#include "tests/engine/EngineTest.h"
#include "tests/vis/VisTest.h"

namespace {

using namespace vistest;
using enginetest::pumpUntil;

class VisEngine : public enginetest::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine.reset();
        engine = std::make_unique<TVAVIVerovu>(owner.hwnd(), TVAVIVerovu::kNoSoundDevice);
        engine->OnVisWindowShow = [this](TVAVIVerovu*, const TVisPluginInfo& info) { shown.push_back(info); };
    }
    LRESULT ipc(LPARAM code, WPARAM wParam = 0) { return SendMessage(owner.hwnd(), WM_WA_IPC, wParam, code); }

    OwnerWindow owner;
    std::vector<TVisPluginInfo> shown;
};

TEST_F(VisEngine, TheScaleTakesOnly256To1024) {
    struct Case {
        uint32_t set, expected;
    };
    for (const Case& c :
         {Case{100, 512}, Case{2000, 512}, Case{256, 256}, Case{1024, 1024}, Case{1025, 1024}}) {
        engine->SetVisScale(c.set);
        EXPECT_EQ(engine->VisScale(), c.expected) << c.set;
    }
}

TEST_F(VisEngine, AMissingPluginIsReported) {
    engine->RunVisPlugin(::testing::TempDir() + "/none.dll", 0);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Specified visualization plug-in does not exist"});
    EXPECT_FALSE(quillet::plugins::VisDriverRunning());
}

TEST_F(VisEngine, APluginFollowsTheToneAndThePlayerMode) {
    Probe::configure("delay=20");
    openAndPlay(enginetest::writeSineWav("tone.wav", 8.0, 2, 1000.0, 0.5));
    engine->RunVisPlugin(QUILLET_VIS_PROBE, 0);
    ASSERT_TRUE(pumpUntil([&] { return engine->VisActive(); }, 5000));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().VisWindow, Probe::window());
    // Data after the thread's 1-second start.
    ASSERT_TRUE(pumpUntil([] { return Probe::renders() >= 5; }, 5000));
    EXPECT_GE(Probe::count("render sRate=44100 nCh=2"), 5);
    // 1 kHz falls in FFT bin 1000 / (44100 / 2048) = 46.4; spectrum byte i is bin i + 1.
    for (int channel = 0; channel < 2; ++channel) {
        const auto spectrum = Probe::last(0, channel);
        const auto peak = std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin();
        EXPECT_GE(peak, 44);
        EXPECT_LE(peak, 47);
        EXPECT_GT(spectrum[size_t(peak)], 100);
    }
    const auto wave = Probe::last(1, 0);
    EXPECT_NE(*std::min_element(wave.begin(), wave.end()), *std::max_element(wave.begin(), wave.end()));
    EXPECT_EQ(ipc(IPC_ISPLAYING), 1);

    // Paused: the plug-in learns it and gets no more data.
    engine->Pause(true);
    EXPECT_TRUE(pumpUntil([&] { return ipc(IPC_ISPLAYING) == 3; }, 2000));
    enginetest::pumpFor(200);
    const int renders = Probe::renders();
    enginetest::pumpFor(400);
    EXPECT_EQ(Probe::renders(), renders);
    engine->Pause(false);
    EXPECT_TRUE(pumpUntil([&] { return Probe::renders() > renders; }, 3000));

    // Ended: the window is reported gone.
    engine->QuitVisPlugin();
    EXPECT_FALSE(engine->VisActive());
    EXPECT_EQ(shown.back().VisWindow, nullptr);
    EXPECT_EQ(Probe::count("quit 0"), 1);
    EXPECT_FALSE(quillet::plugins::VisDriverRunning());
    EXPECT_EQ(ipc(IPC_GETVERSION), 0);  // the owner's own procedure again
}

TEST_F(VisEngine, StartingAgainWhileOneRunsEndsItFirst) {
    Probe::configure("");
    openAndPlay(enginetest::writeSineWav("tone.wav", 8.0));
    engine->RunVisPlugin(QUILLET_VIS_PROBE, 0);
    ASSERT_TRUE(pumpUntil([&] { return engine->VisActive(); }, 5000));
    engine->RunVisPlugin(QUILLET_VIS_PROBE, 1);
    ASSERT_TRUE(pumpUntil([&] { return engine->VisActive() && Probe::count("init 1") == 1; }, 5000));
    const std::string log = Probe::log();
    EXPECT_LT(log.find("quit 0"), log.find("init 1"));
    EXPECT_EQ(engine->VisPluginInfo().ModuleIndex, 1);
}

TEST_F(VisEngine, AStartThatFailsDoesNotBlockTheNext) {
    Probe::configure("");
    openAndPlay(enginetest::writeSineWav("tone.wav", 8.0));
    engine->RunVisPlugin(QUILLET_VIS_PROBE, -1);  // refused at once
    engine->RunVisPlugin(QUILLET_VIS_PROBE, 0);
    EXPECT_TRUE(pumpUntil([&] { return engine->VisActive(); }, 5000));
}

TEST_F(VisEngine, TheEngineGoesWithAPluginRunning) {
    Probe::configure("");
    openAndPlay(enginetest::writeSineWav("tone.wav", 8.0));
    engine->RunVisPlugin(QUILLET_VIS_PROBE, 0);
    ASSERT_TRUE(pumpUntil([&] { return Probe::renders() > 0; }, 5000));
    engine.reset();
    EXPECT_EQ(Probe::count("quit 0"), 1);
    EXPECT_FALSE(quillet::plugins::VisDriverRunning());
}

}  // namespace
