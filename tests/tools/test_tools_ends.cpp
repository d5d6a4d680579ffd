// The end of every track is reported, however short the track and however busy
// the machine: several quillet-play processes at once on the silent device, each
// playing a list of 0.1 s files, beside threads that keep every core busy.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "tests/tools/ToolProcess.h"

using namespace toolstest;

namespace {

const std::string kShort = QUILLET_FIXTURES "/engine/tone-100ms.mp3";
constexpr int kPlayers = 16;
constexpr int kFilesEach = 100;

// Keeps `threads` threads spinning while it lives.
class BusyMachine {
  public:
    explicit BusyMachine(unsigned threads) {
        for (unsigned i = 0; i < threads; ++i)
            m_threads.emplace_back([this] {
                unsigned long n = 0;
                while (!m_stop.load(std::memory_order_relaxed)) n = n * 31 + 7;
                m_sink += n;
            });
    }
    ~BusyMachine() {
        m_stop = true;
        for (auto& t : m_threads) t.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::atomic<unsigned long> m_sink{0};
    std::vector<std::thread> m_threads;
};

TEST(PlayToolEnds, EveryShortTrackEndsOnABusyMachine) {
    BusyMachine load(2 * std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::string> args{"--device", "0"};
    args.insert(args.end(), kFilesEach, kShort);
    std::vector<std::unique_ptr<ToolProcess>> players;
    for (int i = 0; i < kPlayers; ++i) {
        players.push_back(std::make_unique<ToolProcess>(binDir() + "/quillet-play", args));
        ASSERT_TRUE(players.back()->started());
    }
    // A player whose end went unreported stays playing: it never gets to its last
    // file and never exits.
    const auto deadline = Clock::now() + std::chrono::seconds(200);
    for (int i = 0; i < kPlayers; ++i) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const std::optional<int> code = players[size_t(i)]->wait(std::max(left, std::chrono::milliseconds(0)));
        const auto lines = players[size_t(i)]->lines();
        const auto ends = std::count_if(lines.begin(), lines.end(), [](const OutputLine& l) { return l.text == "end"; });
        EXPECT_EQ(code, 0) << "player " << i << " stuck after " << ends << " ends: "
                           << (lines.empty() ? std::string() : lines.back().text);
        EXPECT_EQ(ends, kFilesEach) << "player " << i;
    }
}

}  // namespace
