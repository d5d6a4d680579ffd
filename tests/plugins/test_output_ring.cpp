// The output ring on its own: sizing, wrapping, and the exclusion of its sides.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

#include "plugins/OutputRing.h"

namespace {

TEST(OutputRing, SizesFollowTheTwoHundredMillisecondBlock) {
    EXPECT_EQ(TOutputRing::blockFor(44100, 2, 16), 35280u);
    EXPECT_EQ(TOutputRing::blockFor(11025, 1, 8), 2205u);
    TOutputRing ring;
    ASSERT_TRUE(ring.allocate(TOutputRing::kInitialSize));
    ASSERT_TRUE(ring.fitToBlock(35280, 0));  // 88200 lies between 2 and 4 blocks
    EXPECT_EQ(ring.size(), 88200u);
    ASSERT_TRUE(ring.fitToBlock(2205, 0));  // above 4 blocks: shrinks to 3
    EXPECT_EQ(ring.size(), 6615u);
    ASSERT_TRUE(ring.fitToBlock(35280, 0));  // below 2 blocks: grows to 3
    EXPECT_EQ(ring.size(), 105840u);
    ASSERT_TRUE(ring.fitToBlock(20, 1728));  // a tiny block still leaves room for feed blocks
    EXPECT_EQ(ring.size(), 1728u);
}

TEST(OutputRing, CopiesWrapAroundTheEndAndCountSpace) {
    TOutputRing ring;
    ASSERT_TRUE(ring.allocate(10));
    EXPECT_EQ(ring.freeSpace(), 10u);
    EXPECT_EQ(ring.usedSpace(), 0u);
    std::vector<uint8_t> in(7), out(10);
    std::iota(in.begin(), in.end(), 1);
    if (!ring.acquire(TOutputRing::kWriter, TOutputRing::Wait::Sleep, 0))
        FAIL() << "nobody else holds the ring";
    ring.write(in.data(), 7);
    EXPECT_EQ(ring.usedSpace(), 7u);
    EXPECT_EQ(ring.read(out.data(), 5), 5u);
    ring.write(in.data(), 7);  // 2 bytes at the end, 5 from the start
    EXPECT_EQ(ring.usedSpace(), 9u);
    EXPECT_EQ(ring.freeSpace(), 1u);
    EXPECT_EQ(ring.read(out.data(), 10), 9u);  // more asked than held
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 9),
              (std::vector<uint8_t>{6, 7, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(ring.read(out.data(), 4), 0u);
    ring.write(in.data(), 3);
    ring.clear();
    ring.releaseSide(TOutputRing::kWriter);
    EXPECT_EQ(ring.usedSpace(), 0u);
    ring.release();
    EXPECT_EQ(ring.size(), 0u);
}

// Three threads take the ring in turn and bump a plain counter while they hold it;
// any overlap loses increments (and the thread sanitizer reports the race).
TEST(OutputRing, SidesExcludeEachOther) {
    TOutputRing ring;
    constexpr int kRounds = 20000;
    long counter = 0;
    std::atomic<int> overlaps{0};
    std::atomic<int> inside{0};
    auto run = [&](TOutputRing::Side side) {
        for (int i = 0; i < kRounds; ++i) {
            if (!ring.acquire(side, TOutputRing::Wait::Sleep, TOutputRing::kUnbounded))
                FAIL() << "unbounded wait gave up";
            if (inside.fetch_add(1) != 0) ++overlaps;
            EXPECT_TRUE(ring.busy(side));
            ++counter;
            std::this_thread::yield();  // hold it a little: an intruder would get in now
            inside.fetch_sub(1);
            ring.releaseSide(side);
        }
    };
    std::thread reader(run, TOutputRing::kReader), writer(run, TOutputRing::kWriter),
        reset(run, TOutputRing::kReset);
    reader.join();
    writer.join();
    reset.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, 3L * kRounds);
    EXPECT_FALSE(ring.busy(TOutputRing::kReader));
    EXPECT_FALSE(ring.busy(TOutputRing::kWriter));
}

TEST(OutputRing, BoundedWaitGivesUpWhileTheOtherSideHolds) {
    TOutputRing ring;
    if (!ring.acquire(TOutputRing::kWriter, TOutputRing::Wait::Sleep, 0))
        FAIL() << "nobody else holds the ring";
    bool got = true;
    std::thread([&] { got = ring.acquire(TOutputRing::kReader, TOutputRing::Wait::Sleep, 3); }).join();
    EXPECT_FALSE(got);
    EXPECT_FALSE(ring.busy(TOutputRing::kReader));  // giving up leaves no flag behind
    ring.releaseSide(TOutputRing::kWriter);
    std::thread([&] { got = ring.acquire(TOutputRing::kReader, TOutputRing::Wait::Sleep, 3); }).join();
    EXPECT_TRUE(got);
    EXPECT_TRUE(ring.busy(TOutputRing::kReader));
}

}  // namespace
