// End to end on a real X server and a real sound server: real clicks (xdotool)
// at the mini window's buttons open a file through the open button, and the
// sink's monitor tells what was heard while playing, paused and resumed.
#include <algorithm>
#include <cstdlib>

#include "AppOnDisplay.h"
#include "tests/common/SinkRecording.h"
#include "tests/engine/EngineTest.h"

namespace {

using quillet::test::settle;
using quillet::test::waitFor;

constexpr double kSilence = 0.002;  // a 10 ms block quieter than this is silence

class AppSound : public apptest::AppOnDisplay {
  protected:
    int device() const override { return TVAVIVerovu::kDefaultDevice; }

    void SetUp() override {
        ASSERT_TRUE(std::getenv("XDG_RUNTIME_DIR") || std::getenv("PULSE_SERVER"))
            << "no sound server (start scripts/services.sh)";
        // A sink of the test's own, so tests running beside it are not heard.
        sink = std::make_unique<soundtest::PrivateSink>();
        ASSERT_TRUE(sink->loaded());
        setenv("PULSE_SINK", sink->name().c_str(), 1);
        keeper = std::make_unique<soundtest::Recorder>(sink->name());
        ASSERT_TRUE(sink->settle());
        AppOnDisplay::SetUp();
    }
    void TearDown() override {
        AppOnDisplay::TearDown();
        keeper.reset();
        sink.reset();
    }

    // The levels of the 10 ms blocks heard over the next ms milliseconds, the
    // first 100 ms (the recorder starting) left out.
    std::vector<double> listen(int ms) {
        soundtest::Recorder rec(sink->name());
        EXPECT_TRUE(rec.running());
        settle(ms);
        std::vector<double> levels = soundtest::blockLevels(rec.finish());
        levels.erase(levels.begin(), levels.begin() + std::min<std::ptrdiff_t>(10, std::ssize(levels)));
        return levels;
    }
    static double loudest(const std::vector<double>& levels) {
        return levels.empty() ? 0 : *std::max_element(levels.begin(), levels.end());
    }
    static double soundingShare(const std::vector<double>& levels) {
        if (levels.empty()) return 0;
        return double(std::count_if(levels.begin(), levels.end(), [](double l) { return l > kSilence; })) /
               double(levels.size());
    }

    std::unique_ptr<soundtest::PrivateSink> sink;
    std::unique_ptr<soundtest::Recorder> keeper;  // keeps the sink's latency low
};

TEST_F(AppSound, OpenedFileIsHeardPauseSilencesAndResumeSoundsAgain) {
    start();
    TFMain& f = app->Form();
    TMainController& c = *app->Controller();
    const std::string tone = enginetest::writeSineWav("tone.wav", 12);
    answerOpen(tone);

    ASSERT_TRUE(click(f.btnOpen));
    ASSERT_TRUE(waitMode(plmPlaying));
    EXPECT_EQ(app->Player()->StreamName(), tone);
    EXPECT_EQ(f.TotalTimeText, "00:12");
    const int thumbAtStart = f.btnthumb->x();
    const std::vector<double> playing = listen(1200);
    EXPECT_GT(soundingShare(playing), 0.95);
    EXPECT_GT(soundtest::medianLevel(playing, {0, playing.size() - 1}), 0.1);
    // The progress bar follows: its thumb moves along.
    EXPECT_TRUE(waitFor([&] { return f.btnthumb->x() > thumbAtStart; }, 3000)) << thumbAtStart;

    ASSERT_TRUE(c.PauseInFront());
    ASSERT_TRUE(click(f.btnPause));
    ASSERT_TRUE(waitMode(plmPaused));
    EXPECT_FALSE(c.PauseInFront());
    settle(200);  // what the output had queued
    const std::vector<double> paused = listen(1000);
    EXPECT_LT(loudest(paused), kSilence);
    const int thumbPaused = f.btnthumb->x();
    EXPECT_FALSE(c.Timer_step.isActive());

    ASSERT_TRUE(click(f.btnPlay));
    ASSERT_TRUE(waitMode(plmPlaying));
    settle(700);  // the fade in
    const std::vector<double> resumed = listen(1000);
    EXPECT_GT(soundingShare(resumed), 0.95);
    EXPECT_GT(soundtest::medianLevel(resumed, {0, resumed.size() - 1}), 0.1);
    EXPECT_TRUE(waitFor([&] { return f.btnthumb->x() > thumbPaused; }, 3000)) << thumbPaused;
}

}  // namespace
