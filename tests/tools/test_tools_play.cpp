// quillet-play end to end: the tool runs as a child process; what it prints is read
// with the time each line arrived, and what the PulseAudio null sink heard is recorded
// from its monitor. The fixture chirp-4s.mp3 rises linearly from 200 Hz by 1000 Hz per
// second, so the frequency heard tells the position in the file.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "tests/common/SinkRecording.h"
#include "tests/tools/ToolProcess.h"

using namespace toolstest;
using namespace soundtest;
using namespace std::chrono_literals;

namespace {

const std::string kChirp = QUILLET_FIXTURES "/engine/chirp-4s.mp3";
const std::string kTone1s = QUILLET_FIXTURES "/engine/tone-1s.mp3";
const std::string kNotAudio = QUILLET_FIXTURES "/engine/not-audio.mp3";
const std::string kMissing = QUILLET_FIXTURES "/engine/missing.mp3";
constexpr double kSilence = 0.002;               // block level below which the sink is silent
constexpr double kFullLevel = 0.5 / 1.41421356;  // the fixtures' sine at half of full scale

std::string playTool() {
    return binDir() + "/quillet-play";
}

bool haveSoundServer() {
    return std::getenv("XDG_RUNTIME_DIR") || std::getenv("PULSE_SERVER");
}

#define REQUIRE_SOUND_SERVER() \
    if (!haveSoundServer()) GTEST_SKIP() << "no sound server (start scripts/services.sh)"

// The chirp's position (seconds) for a frequency heard.
double chirpTime(double hz) {
    return (hz - 200) / 1000;
}

std::vector<std::string> eventLines(const ToolProcess& p) {
    std::vector<std::string> out;
    for (const auto& l : p.lines()) {
        if (!l.text.starts_with("pos ")) out.push_back(l.text);
    }
    return out;
}

std::string dump(const ToolProcess& p) {
    std::ostringstream out;
    for (const auto& l : p.lines()) out << "  " << l.text << "\n";
    out << "stderr: " << p.errorText();
    return out.str();
}

struct Pos {
    uint32_t ms = 0, length = 0;
    Clock::time_point at;
};

std::vector<Pos> posLines(const ToolProcess& p) {
    std::vector<Pos> out;
    for (const auto& l : p.lines()) {
        Pos pos;
        pos.at = l.at;
        if (std::sscanf(l.text.c_str(), "pos %u %u", &pos.ms, &pos.length) == 2) out.push_back(pos);
    }
    return out;
}

size_t count(const std::vector<std::string>& lines, const std::string& prefix) {
    return size_t(
        std::count_if(lines.begin(), lines.end(), [&](const auto& l) { return l.starts_with(prefix); }));
}

}  // namespace

TEST(QuilletPlay, PlaysAFileToItsEndThroughTheFedOutput) {
    REQUIRE_SOUND_SERVER();
    PrivateSink sink;
    ASSERT_TRUE(sink.loaded());
    Recorder rec(sink.name());
    ASSERT_TRUE(rec.running());
    ASSERT_TRUE(sink.settle());
    ToolProcess p(playTool(), {kChirp}, {sink.env()});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
    ASSERT_TRUE(p.waitForLine("end", 20s)) << dump(p);
    EXPECT_EQ(p.wait(10s), 0) << dump(p);
    std::this_thread::sleep_for(300ms);
    const auto samples = rec.finish();

    const std::vector<std::string> expected = {"mode plmStandby plmReady", "mode plmReady plmPlaying",
                                               "mode plmPlaying plmStopped", "end"};
    EXPECT_EQ(eventLines(p), expected) << dump(p);

    // The whole file was heard at its speed: 4 s of sound, the chirp's frequencies.
    const auto levels = blockLevels(samples);
    const auto spans = soundSpans(levels, kSilence);
    ASSERT_EQ(spans.size(), 1u);
    std::printf("heard %.2f s, level %.3f\n", spans[0].seconds(), medianLevel(levels, spans[0]));
    EXPECT_NEAR(spans[0].seconds(), 4.0, 0.15);
    EXPECT_NEAR(medianLevel(levels, spans[0]), kFullLevel, kFullLevel * 0.1);
    const size_t start = spans[0].first * kBlock;
    for (double t : {0.5, 2.0, 3.5}) {
        const double hz = frequencyAt(samples, start + size_t(t * kRate), size_t(0.05 * kRate));
        EXPECT_NEAR(chirpTime(hz), t + 0.025, 0.06) << "at " << t << " s: " << hz << " Hz";
    }

    // Positions follow the wall clock: each pos line's time since the first one matches
    // the position's advance since then.
    const auto pos = posLines(p);
    ASSERT_GE(pos.size(), 2u) << dump(p);
    for (const auto& q : pos) {
        EXPECT_NEAR(q.length, 4000u, 60u);
        const double wall = std::chrono::duration<double>(q.at - pos[0].at).count();
        const double advance = (double(q.ms) - double(pos[0].ms)) / 1000;
        std::printf("pos %u: wall %.3f s, position advance %.3f s\n", q.ms, wall, advance);
        EXPECT_NEAR(advance, wall, 0.15);
    }
    // The first position is no more than what can have been played since the start.
    const double sinceStart = std::chrono::duration<double>(pos[0].at - p.startedAt()).count();
    EXPECT_LE(pos[0].ms / 1000.0, sinceStart + 0.15);
}

TEST(QuilletPlay, PauseFadesOutAndResumeRepeatsTheLastHalfSecond) {
    REQUIRE_SOUND_SERVER();
    PrivateSink sink;
    ASSERT_TRUE(sink.loaded());
    Recorder rec(sink.name());
    ASSERT_TRUE(rec.running());
    ASSERT_TRUE(sink.settle());
    ToolProcess p(playTool(), {kChirp}, {sink.env()});
    ASSERT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(p.send("pause"));
    ASSERT_TRUE(p.waitForLine("mode plmPlaying plmPaused", 5s)) << dump(p);
    std::this_thread::sleep_for(1000ms);
    ASSERT_TRUE(p.send("resume"));
    ASSERT_TRUE(p.waitForLine("mode plmPaused plmPlaying", 5s)) << dump(p);
    ASSERT_TRUE(p.waitForLine("end", 20s)) << dump(p);
    EXPECT_EQ(p.wait(10s), 0) << dump(p);
    std::this_thread::sleep_for(300ms);
    const auto samples = rec.finish();

    const auto levels = blockLevels(samples);
    const auto spans = soundSpans(levels, kSilence);
    ASSERT_EQ(spans.size(), 2u) << "expected sound, a silence, sound";
    const Span before = spans[0], after = spans[1];
    const double full = medianLevel(levels, after);
    EXPECT_NEAR(full, kFullLevel, kFullLevel * 0.1);
    const double silence = double(after.first - before.last - 1) / 100;
    const double fadeOut = fadeSeconds(levels, before.last, -1, full);
    const double fadeIn = fadeSeconds(levels, after.first, +1, full);
    std::printf("sound %.2f s, silence %.2f s, sound %.2f s; fade out %.2f s, fade in %.2f s\n",
                before.seconds(), silence, after.seconds(), fadeOut, fadeIn);
    std::printf("last blocks of the fade out:");
    for (size_t b = before.last - 11; b <= before.last + 1; ++b) std::printf(" %.3f", levels[b] / full);
    std::printf("\n");
    EXPECT_GT(silence, 0.6);
    // Linear fades of 500 ms take 450 ms to pass 90 % of the full level.
    EXPECT_NEAR(fadeOut, 0.45, 0.15);
    EXPECT_NEAR(fadeIn, 0.45, 0.15);
    // The fade reaches silence before the output stops: no cut at the end.
    EXPECT_LT(levels[before.last - 2], 0.15 * full);
    // Halfway through, the level is between the ends: a fade, not a cut.
    const double midOut = levels[before.last - 25], midIn = levels[after.first + 25];
    EXPECT_GT(midOut, 0.2 * full);
    EXPECT_LT(midOut, 0.8 * full);
    EXPECT_GT(midIn, 0.2 * full);
    EXPECT_LT(midIn, 0.8 * full);

    // The sound after the pause starts half a second before where it stopped.
    const size_t window = size_t(0.05 * kRate);
    const double stoppedAt =
        chirpTime(frequencyAt(samples, (before.last + 1) * kBlock - window, window)) + 0.025;
    const double resumedAt = chirpTime(frequencyAt(samples, after.first * kBlock, window)) - 0.025;
    std::printf("stopped at %.3f s of the file, resumed at %.3f s\n", stoppedAt, resumedAt);
    EXPECT_NEAR(stoppedAt - resumedAt, 0.5, 0.1);
    // Everything of the file was heard, the repeated half second twice.
    EXPECT_NEAR(before.seconds() + after.seconds(), 4.5, 0.2);
}

TEST(QuilletPlay, SingleChannelModePlaysTheFile) {
    REQUIRE_SOUND_SERVER();
    PrivateSink sink;
    ASSERT_TRUE(sink.loaded());
    Recorder rec(sink.name());
    ASSERT_TRUE(rec.running());
    ASSERT_TRUE(sink.settle());
    ToolProcess p(playTool(), {"--single", kTone1s}, {sink.env()});
    ASSERT_TRUE(p.waitForLine("end", 15s)) << dump(p);
    EXPECT_EQ(p.wait(10s), 0) << dump(p);
    std::this_thread::sleep_for(300ms);
    const auto samples = rec.finish();
    const auto levels = blockLevels(samples);
    const auto spans = soundSpans(levels, kSilence);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(spans[0].seconds(), 1.0, 0.15);
    EXPECT_NEAR(frequencyAt(samples, spans[0].first * kBlock + size_t(0.3 * kRate), size_t(0.2 * kRate)), 440,
                5);
}

TEST(QuilletPlay, PlaysTheListInOrderAndReportsFilesThatCannotOpen) {
    {
        ToolProcess p(playTool(), {"--device", "0", kMissing, kTone1s, kNotAudio, kTone1s});
        EXPECT_EQ(p.wait(20s), 0) << dump(p);
        const auto lines = eventLines(p);
        const std::vector<std::string> expected = {
            "error Invalid or unsupported stream file.\\n -> " + kMissing,
            "mode plmStandby plmReady",
            "mode plmReady plmPlaying",
            "mode plmPlaying plmStopped",
            "end",
            "error Invalid or unsupported stream file.\\n -> " + kNotAudio,
            "mode plmStopped plmStandby",
            "mode plmStandby plmReady",
            "mode plmReady plmPlaying",
            "mode plmPlaying plmStopped",
            "end"};
        EXPECT_EQ(lines, expected) << dump(p);
    }
    {
        // Nothing left to play after a failure.
        ToolProcess p(playTool(), {"--device", "0", kTone1s, kMissing});
        EXPECT_EQ(p.wait(20s), 1) << dump(p);
        const auto lines = eventLines(p);
        EXPECT_EQ(count(lines, "end"), 1u) << dump(p);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.back().starts_with("error ")) << dump(p);
    }
    {
        ToolProcess p(playTool(), {"--device", "0", kMissing, kNotAudio});
        EXPECT_EQ(p.wait(20s), 1) << dump(p);
        EXPECT_EQ(count(eventLines(p), "error "), 2u) << dump(p);
        EXPECT_EQ(count(eventLines(p), "mode "), 0u) << dump(p);
    }
}

TEST(QuilletPlay, CommandsDriveThePlayer) {
    ToolProcess p(playTool(), {"--device", "0", kChirp});
    ASSERT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
    ASSERT_TRUE(p.send("bogus 1"));
    ASSERT_TRUE(p.send("volume 100"));
    ASSERT_TRUE(p.send("seek 2500"));
    EXPECT_TRUE(p.waitForLine(
        [](const std::string& l) { return l.starts_with("pos ") && std::stoul(l.substr(4)) >= 2500; }, 3s))
        << dump(p);
    ASSERT_TRUE(p.send("stop"));
    ASSERT_TRUE(p.waitForLine("mode plmPlaying plmStopped", 5s)) << dump(p);
    ASSERT_TRUE(p.send("play"));
    ASSERT_TRUE(p.waitForLine("mode plmStopped plmPlaying", 5s)) << dump(p);
    // Playing again from a stop starts at the beginning.
    const auto replay =
        p.waitForLine([](const std::string& l) { return l.starts_with("pos "); }, 3s, p.lines().size());
    ASSERT_TRUE(replay) << dump(p);
    EXPECT_LT(std::stoul(replay->text.substr(4)), 1500u) << dump(p);
    ASSERT_TRUE(p.send("mute"));
    ASSERT_TRUE(p.send("unmute"));
    ASSERT_TRUE(p.send("pause"));
    ASSERT_TRUE(p.waitForLine("mode plmPlaying plmPaused", 5s)) << dump(p);
    ASSERT_TRUE(p.send("play"));  // play resumes from a pause
    ASSERT_TRUE(p.waitForLine("mode plmPaused plmPlaying", 5s)) << dump(p);
    ASSERT_TRUE(p.send("quit"));
    EXPECT_EQ(p.wait(10s), 0) << dump(p);
    EXPECT_EQ(count(eventLines(p), "end"), 0u);
    EXPECT_NE(p.errorText().find("unknown command: bogus 1"), std::string::npos) << dump(p);
}

TEST(QuilletPlay, NextOpensTheFollowingFileWhileTheCurrentOnePlays) {
    ToolProcess p(playTool(), {"--device", "0", kChirp, kTone1s});
    ASSERT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
    ASSERT_TRUE(p.send("next"));
    ASSERT_TRUE(p.waitForLine("end", 15s)) << dump(p);
    EXPECT_EQ(p.wait(10s), 0) << dump(p);
    const std::vector<std::string> expected = {"mode plmStandby plmReady",   "mode plmReady plmPlaying",
                                               "mode plmPlaying plmPaused",  "mode plmPaused plmStandby",
                                               "mode plmStandby plmReady",   "mode plmReady plmPlaying",
                                               "mode plmPlaying plmStopped", "end"};
    EXPECT_EQ(eventLines(p), expected) << dump(p);
}

TEST(QuilletPlay, NextToAFileThatCannotOpenKeepsTheCurrentOnePlaying) {
    ToolProcess p(playTool(), {"--device", "0", kTone1s, kMissing, kTone1s});
    ASSERT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
    ASSERT_TRUE(p.send("next"));
    EXPECT_EQ(p.wait(15s), 0) << dump(p);
    const std::vector<std::string> expected = {"mode plmStandby plmReady",
                                               "mode plmReady plmPlaying",
                                               "error Invalid or unsupported stream file.\\n -> " + kMissing,
                                               "mode plmPlaying plmStopped",
                                               "end",
                                               "mode plmStopped plmStandby",
                                               "mode plmStandby plmReady",
                                               "mode plmReady plmPlaying",
                                               "mode plmPlaying plmStopped",
                                               "end"};
    EXPECT_EQ(eventLines(p), expected) << dump(p);
}

TEST(QuilletPlay, EndOfInputIsNotACommandAndAnInterruptQuits) {
    {
        ToolProcess p(playTool(), {"--device", "0", kTone1s});
        p.closeInput();
        ASSERT_TRUE(p.waitForLine("end", 15s)) << dump(p);
        EXPECT_EQ(p.wait(10s), 0) << dump(p);
    }
    {
        ToolProcess p(playTool(), {"--device", "0", kChirp});
        ASSERT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
        ASSERT_TRUE(p.signal(SIGINT));
        EXPECT_EQ(p.wait(10s), 0) << dump(p);
        EXPECT_EQ(count(eventLines(p), "end"), 0u);
    }
}

TEST(QuilletPlay, WithoutASoundServerTheEngineDoesNotStart) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--device", "1", kChirp}, std::vector<std::string>{kChirp}}) {
        ToolProcess p(playTool(), args, {"PULSE_SERVER=unix:/nonexistent/quillet/pulse.socket"});
        const auto code = p.wait(20s);
        ASSERT_TRUE(code) << dump(p);
        EXPECT_NE(*code, 0) << dump(p);
        EXPECT_EQ(count(eventLines(p), "mode "), 0u) << dump(p);
        EXPECT_TRUE(p.waitForLine(
            [](const std::string& l) { return l.starts_with("error Can't initialize device"); }, 1s))
            << dump(p);
    }
}

TEST(QuilletPlay, BadArgumentsAreAUsageError) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"--device"},
          std::vector<std::string>{"--device", "x", kTone1s}, std::vector<std::string>{"--loud", kTone1s}}) {
        ToolProcess p(playTool(), args);
        EXPECT_EQ(p.wait(10s), 2) << dump(p);
        EXPECT_NE(p.errorText().find("usage"), std::string::npos);
    }
}
