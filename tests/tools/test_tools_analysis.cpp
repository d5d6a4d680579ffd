// The analysis the end-to-end tests rely on, checked against signals of known shape:
// made here in memory, and played by sox through the sound server and recorded.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>

#include "tests/common/SinkRecording.h"

using namespace soundtest;
using namespace std::chrono_literals;

namespace {

// A linear chirp (200 Hz + 1000 Hz per second of signal time) shaped by gain(t).
template <typename Gain>
std::vector<float> chirp(double seconds, Gain gain) {
    std::vector<float> s(size_t(seconds * kRate));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate;
        s[i] = float(0.5 * gain(t) * std::sin(phase));
        phase += 2 * M_PI * (200 + 1000 * t) / kRate;
    }
    return s;
}

double clamp01(double x) {
    return std::min(1.0, std::max(0.0, x));
}

}  // namespace

TEST(ToneAnalysis, FindsSoundFadesAndFrequencies) {
    // 0.2 s silence, sound, a 0.5 s fade out ending at 1.5 s, silence to 2.5 s, a 0.5 s
    // fade in, sound to 4 s.
    const auto s = chirp(4.0, [](double t) {
        if (t < 0.2) return 0.0;
        if (t < 1.5) return clamp01((1.5 - t) / 0.5);
        if (t < 2.5) return 0.0;
        return clamp01((t - 2.5) / 0.5);
    });
    const auto levels = blockLevels(s);
    ASSERT_EQ(levels.size(), 400u);
    const auto spans = soundSpans(levels, 0.002);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_NEAR(spans[0].first / 100.0, 0.2, 0.015);
    EXPECT_NEAR(spans[0].last / 100.0, 1.5, 0.015);
    EXPECT_NEAR(spans[1].first / 100.0, 2.5, 0.015);
    EXPECT_NEAR(spans[1].seconds(), 1.5, 0.015);
    const double full = medianLevel(levels, spans[1]);
    EXPECT_NEAR(full, 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_NEAR(fadeSeconds(levels, spans[0].last, -1, full), 0.45, 0.03);
    EXPECT_NEAR(fadeSeconds(levels, spans[1].first, +1, full), 0.45, 0.03);
    // The frequency over 50 ms is the one at the window's middle.
    for (double t : {0.3, 1.0, 3.0, 3.9}) {
        EXPECT_NEAR(frequencyAt(s, size_t(t * kRate), size_t(0.05 * kRate)), 200 + 1000 * (t + 0.025), 5)
            << t;
    }
    EXPECT_EQ(frequencyAt(s, size_t(1.8 * kRate), size_t(0.05 * kRate)), 0);  // silence
}

TEST(ToneAnalysis, HearsASignalPlayedThroughTheSink) {
    if (!std::getenv("XDG_RUNTIME_DIR") && !std::getenv("PULSE_SERVER")) GTEST_SKIP() << "no sound server";
    PrivateSink sink;
    ASSERT_TRUE(sink.loaded());
    Recorder rec(sink.name());
    ASSERT_TRUE(rec.running());
    ASSERT_TRUE(sink.settle());
    // 2 s of the chirp with a 0.5 s fade out at its end.
    const std::string command = "sox -q -n -r 44100 -c 2 -t pulseaudio " + sink.name() +
                                " synth 2 sine 200:2200 vol 0.5 fade t 0 2 0.5 >/dev/null 2>&1";
    const int rc = std::system(command.c_str());
    ASSERT_EQ(rc, 0) << "sox could not play to the sound server";
    std::this_thread::sleep_for(300ms);
    const auto s = rec.finish();
    const auto levels = blockLevels(s);
    const auto spans = soundSpans(levels, 0.002);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(spans[0].seconds(), 2.0, 0.05);
    const double full = medianLevel(levels, spans[0]);
    EXPECT_NEAR(full, 0.5 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(fadeSeconds(levels, spans[0].last, -1, full), 0.45, 0.05);
    const size_t start = spans[0].first * kBlock;
    EXPECT_NEAR(frequencyAt(s, start + size_t(0.5 * kRate), size_t(0.05 * kRate)), 725, 30);
    EXPECT_NEAR(frequencyAt(s, start + size_t(1.0 * kRate), size_t(0.05 * kRate)), 1225, 30);
}
