// The add-ons through the tools: quillet-play plays real WMA files and a CD
// image's track into the PulseAudio null sink, and seeks; quillet-probe shows
// a WMA file's tags and true length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "tests/common/SinkRecording.h"
#include "tests/tools/ToolProcess.h"

using namespace toolstest;
using namespace soundtest;
using namespace std::chrono_literals;

namespace {

const std::string kWma2 = QUILLET_FIXTURES "/wma/tone-wmav2-128k.wma";  // 1 kHz, 3 s
const std::string kWma1 = QUILLET_FIXTURES "/wma/tone-wmav1-32k.asf";   // 440 Hz, 4 s
const std::string kImage = QUILLET_FIXTURES "/cd/disc.cue";             // track 2: 1 kHz, 1.51 s
constexpr double kSilence = 0.002;

bool haveSoundServer() {
    return std::getenv("XDG_RUNTIME_DIR") || std::getenv("PULSE_SERVER");
}
#define REQUIRE_SOUND_SERVER() \
    if (!haveSoundServer()) GTEST_SKIP() << "no sound server (start scripts/services.sh)"

std::string dump(const ToolProcess& p) {
    std::ostringstream out;
    for (const auto& l : p.lines()) out << "  " << l.text << "\n";
    out << "stderr: " << p.errorText();
    return out.str();
}

// Lengths the player reported in its "pos MS LEN" lines.
std::vector<unsigned> reportedLengths(const ToolProcess& p) {
    std::vector<unsigned> out;
    for (const auto& l : p.lines()) {
        unsigned ms = 0, length = 0;
        if (std::sscanf(l.text.c_str(), "pos %u %u", &ms, &length) == 2) out.push_back(length);
    }
    return out;
}

struct Heard {
    double seconds = 0, hz = 0;
    size_t spans = 0;
};

// Plays `file` with quillet-play to its end and returns what the sink heard.
Heard playToEnd(const std::string& file, std::vector<unsigned>* lengths,
                const std::vector<std::string>& env = {}) {
    PrivateSink sink;
    EXPECT_TRUE(sink.loaded());
    Recorder rec(sink.name());
    EXPECT_TRUE(rec.running());
    EXPECT_TRUE(sink.settle());
    std::vector<std::string> fullEnv = env;
    fullEnv.push_back(sink.env());
    ToolProcess p(binDir() + "/quillet-play", {file}, fullEnv);
    EXPECT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
    EXPECT_TRUE(p.waitForLine("end", 20s)) << dump(p);
    EXPECT_EQ(p.wait(10s), 0) << dump(p);
    std::this_thread::sleep_for(300ms);
    const auto samples = rec.finish();
    if (lengths) *lengths = reportedLengths(p);
    Heard h;
    const auto spans = soundSpans(blockLevels(samples), kSilence);
    h.spans = spans.size();
    if (spans.empty()) return h;
    h.seconds = spans[0].seconds();
    const size_t start = spans[0].first * kBlock;
    h.hz = frequencyAt(samples, start + size_t(0.3 * kRate), size_t(0.1 * kRate));
    return h;
}

TEST(AddonsThroughTheTools, WmaFilesPlayForTheirTrueLength) {
    REQUIRE_SOUND_SERVER();
    struct Case {
        const std::string& file;
        double seconds, hz;
        unsigned headerMs;  // play duration less preroll
    };
    for (const Case& c : {Case{kWma2, 2.97, 1000, 3018}, Case{kWma1, 3.99, 440, 4039}}) {
        SCOPED_TRACE(c.file);
        std::vector<unsigned> lengths;
        const Heard h = playToEnd(c.file, &lengths);
        std::printf("heard %.2f s at %.0f Hz\n", h.seconds, h.hz);
        EXPECT_EQ(h.spans, 1u);
        EXPECT_NEAR(h.seconds, c.seconds, 0.15);
        EXPECT_NEAR(h.hz, c.hz, c.hz * 0.02);
        ASSERT_FALSE(lengths.empty());
        for (unsigned length : lengths) EXPECT_NEAR(double(length), c.headerMs, 5.0);
    }
}

TEST(AddonsThroughTheTools, AWmaFileSeeks) {
    REQUIRE_SOUND_SERVER();
    PrivateSink sink;
    ASSERT_TRUE(sink.loaded());
    Recorder rec(sink.name());
    ASSERT_TRUE(sink.settle());
    ToolProcess p(binDir() + "/quillet-play", {kWma1}, {sink.env()});
    ASSERT_TRUE(p.waitForLine("mode plmReady plmPlaying", 10s)) << dump(p);
    std::this_thread::sleep_for(500ms);
    const auto seekAt = Clock::now();
    ASSERT_TRUE(p.send("seek 3000"));
    const auto after = p.waitForLine(
        [](const std::string& l) {
            unsigned ms = 0, length = 0;
            return std::sscanf(l.c_str(), "pos %u %u", &ms, &length) == 2 && ms >= 3000;
        },
        5s, p.lines().size());
    EXPECT_TRUE(after) << dump(p);
    const auto end = p.waitForLine("end", 10s);
    ASSERT_TRUE(end) << dump(p);
    // About one second was left after the seek (with the half-second fades
    // around it), not the 3.5 s that playing on would take.
    const double rest = std::chrono::duration<double>(end->at - seekAt).count();
    std::printf("ended %.2f s after the seek\n", rest);
    EXPECT_GT(rest, 0.7);
    EXPECT_LT(rest, 2.3);
    EXPECT_EQ(p.wait(10s), 0);
}

TEST(AddonsThroughTheTools, ACdImageTrackPlays) {
    REQUIRE_SOUND_SERVER();
    std::vector<unsigned> lengths;
    const Heard h = playToEnd("D:/Track02.cda", &lengths, {"QUILLET_CD_DRIVES=" + kImage});
    std::printf("heard %.2f s at %.0f Hz\n", h.seconds, h.hz);
    EXPECT_EQ(h.spans, 1u);
    EXPECT_NEAR(h.seconds, 113 * 588 / 44100.0, 0.15);
    EXPECT_NEAR(h.hz, 1000, 20);
}

TEST(AddonsThroughTheTools, ProbeShowsTheWmaTagsAndTrueLength) {
    ToolProcess p(binDir() + "/quillet-probe", {kWma2});
    ASSERT_EQ(p.wait(20s), 0) << dump(p);
    ASSERT_EQ(p.lines().size(), 1u) << dump(p);
    const std::string json = p.lines()[0].text;
    for (const char* field :
         {"\"ok\":true", "\"Title\":\"Tone Title\"", "\"Artist\":\"Tone Artist\"", "\"Album\":\"Tone Album\"",
          "\"Year\":\"2024\"", "\"Genre\":\"Test Tones\"", "\"BitRate\":128", "\"SampleRate\":44100",
          "\"Format\":66304", "\"Duration\":3018"}) {
        EXPECT_NE(json.find(field), std::string::npos) << field << " in " << json;
    }
}

}  // namespace
