// The fed output: what the reader hands out, when the stream ends, what the feeder
// reports, and how resets, closing and a busy ring are handled.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "plugins/PluginHost.h"
#include "tests/plugins/HostTest.h"

namespace {

using namespace std::chrono_literals;
using hosttest::framesInOrder;
using hosttest::PositionSource;

class FedOutput : public hosttest::HostTest {
  protected:
    // The process host's ring, whose sides a test holds to stand in for a busy
    // reader or writer.
    static TOutputRing& hostRing() { return quillet::plugins::PluginHost().fedOutput().ring(); }
    // Until the source has not been read for 100 ms.
    static void waitUntilFeederIdle(const PositionSource& source) {
        int calls = -1;
        for (int i = 0; i < 50 && source.calls() != calls; ++i) {
            calls = source.calls();
            std::this_thread::sleep_for(100ms);
        }
    }
    void TearDown() override {
        CloseFedOutput();
        hosttest::HostTest::TearDown();
    }
    HSTREAM open(PositionSource& source, uint32_t rate = 44100, uint32_t channels = 2, bool pad = false) {
        return OpenFedOutput(source.handle(), source.handle(), rate, channels, 16, pad);
    }
};

TEST_F(FedOutput, WholeStreamArrivesInOrder) {
    constexpr uint64_t kFrames = 3 * 44100 + 17;
    PositionSource source(kFrames);
    ASSERT_NE(open(source), 0u);
    // Requests of odd sizes, some larger than the ring.
    const DWORD steps[] = {10584, 3001, 100000, 4608, 7};
    std::vector<uint8_t> all, chunk(100000);
    bool ended = false;
    for (size_t i = 0; !ended && all.size() < kFrames * 4 + 1; ++i) {
        const DWORD step = steps[i % std::size(steps)];
        const DWORD r = ReadFedOutput(chunk.data(), step);
        const DWORD n = r & ~BASS_STREAMPROC_END;
        ASSERT_LE(n, step);
        all.insert(all.end(), chunk.begin(), chunk.begin() + n);
        ended = (r & BASS_STREAMPROC_END) != 0;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(all.size(), kFrames * 4);
    EXPECT_TRUE(framesInOrder(all, 4, 0));
    CloseFedOutput();
}

TEST_F(FedOutput, FixtureFilesArriveUnchanged) {
    for (const char* name : {"tone-1k-stereo.wav", "tone-1k-3s.mp3"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(QUILLET_FIXTURES) + "/audio/" + name;
        const HSTREAM reference = Bass.BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        const HSTREAM source = Bass.BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_NE(reference, 0u);
        ASSERT_NE(source, 0u);
        BASS_CHANNELINFO info{};
        ASSERT_TRUE(Bass.BASS_ChannelGetInfo(source, &info));
        std::vector<uint8_t> expected, chunk(65536);
        for (;;) {
            const DWORD n = Bass.BASS_ChannelGetData(reference, chunk.data(), DWORD(chunk.size()));
            if (n == DWORD(-1) || n == 0) break;
            expected.insert(expected.end(), chunk.begin(), chunk.begin() + n);
        }
        ASSERT_GT(expected.size(), 44100u);
        ASSERT_NE(OpenFedOutput(source, source, info.freq, info.chans, 16, false), 0u);
        bool ended = false;
        const auto got = hosttest::drainFedOutput(10584, expected.size() + 100000, &ended);
        EXPECT_TRUE(ended);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
        CloseFedOutput();
        Bass.BASS_StreamFree(source);
        Bass.BASS_StreamFree(reference);
    }
}

TEST_F(FedOutput, EndFlagOnlyOnceTheInputEndedAndTheRingDrains) {
    {
        PositionSource source(1000);  // 4000 bytes, less than one feed block
        ASSERT_NE(open(source), 0u);
        std::vector<uint8_t> buf(10000);
        const DWORD r = ReadFedOutput(buf.data(), 10000);
        EXPECT_EQ(r, 4000u | BASS_STREAMPROC_END);
        buf.resize(4000);
        EXPECT_TRUE(framesInOrder(buf, 4, 0));
        EXPECT_EQ(ReadFedOutput(buf.data(), 4000), 0u | BASS_STREAMPROC_END);  // drained
        CloseFedOutput();
    }
    {
        PositionSource source(UINT64_MAX);
        ASSERT_NE(open(source), 0u);
        std::vector<uint8_t> buf(200000);
        const DWORD first = ReadFedOutput(buf.data(), 4608);
        EXPECT_EQ(first, 4608u);
        // More asked than the ring holds while the input goes on: what is there, no end.
        const DWORD all = ReadFedOutput(buf.data(), 200000);
        EXPECT_GT(all, 0u);
        EXPECT_LT(all, 200000u);
        EXPECT_EQ(all & BASS_STREAMPROC_END, 0u);
        // The ring just emptied and the input goes on: no end either.
        EXPECT_EQ(ReadFedOutput(buf.data(), 4608) & BASS_STREAMPROC_END, 0u);
        CloseFedOutput();
    }
}

TEST_F(FedOutput, ShortReadEndsTheInputUnlessPadding) {
    constexpr uint32_t kBurst = 1000;
    {
        PositionSource source(3 * kBurst);
        source.setBurst(kBurst);
        ASSERT_NE(open(source), 0u);
        bool ended = false;
        const auto got = hosttest::drainFedOutput(4608, 1 << 20, &ended);
        EXPECT_TRUE(ended);
        EXPECT_EQ(got.size(), kBurst * 4);  // the first short block ended the input
        EXPECT_TRUE(framesInOrder(got, 4, 0));
        CloseFedOutput();
    }
    {
        // Eight channels of 16 bits at 48 kHz: the largest feed block (18432 bytes,
        // 1152 frames of 16 bytes). 100 frames come per burst, so each block needs
        // 16832 bytes of silence.
        constexpr uint32_t kSmallBurst = 100;
        PositionSource source(3 * kSmallBurst, 48000, 8, 16);
        source.setBurst(kSmallBurst);
        ASSERT_NE(open(source, 48000, 8, true), 0u);
        ASSERT_EQ(FeedBlockBytes(), 18432u);
        bool ended = false;
        const auto got = hosttest::drainFedOutput(10000, 1 << 20, &ended);
        EXPECT_TRUE(ended);  // reading went on until a read gave nothing
        ASSERT_EQ(got.size(), 3u * 18432);
        for (uint32_t block = 0; block < 3; ++block) {
            const uint8_t* b = got.data() + block * 18432;
            for (uint32_t f = 0; f < 1152; ++f) {
                const uint8_t* frame = b + f * 16;
                if (f < kSmallBurst) {
                    ASSERT_EQ(hosttest::frameNumber(frame, 16), block * kSmallBurst + f) << "block " << block;
                } else {
                    ASSERT_TRUE(std::all_of(frame, frame + 16, [](uint8_t v) { return v == 0; }))
                        << "block " << block << " frame " << f;
                }
            }
        }
        CloseFedOutput();
    }
}

TEST_F(FedOutput, EmptyReadReportsLossOnlyWhenTheOriginIsGone) {
    // The engine's own channel gives nothing: the input ends, nothing is lost.
    {
        PositionSource source(UINT64_MAX);
        ASSERT_NE(open(source), 0u);
        source.arm();
        std::thread helper([&] {
            ASSERT_TRUE(source.waitBlocked(5s));
            source.release(false);
        });
        std::vector<uint8_t> buf(4608);
        EXPECT_EQ(ReadFedOutput(buf.data(), 4608), 0u | BASS_STREAMPROC_END);
        helper.join();
        CloseFedOutput();
    }
    // Another channel read for the engine's own, which is gone: the source is lost.
    {
        PositionSource source(UINT64_MAX), origin(UINT64_MAX);
        const DWORD originHandle = origin.handle();
        origin.free();
        ASSERT_NE(OpenFedOutput(source.handle(), originHandle, 44100, 2, 16, false), 0u);
        source.arm();
        std::thread helper([&] {
            ASSERT_TRUE(source.waitBlocked(5s));
            source.release(false);
        });
        std::vector<uint8_t> buf(4608);
        EXPECT_EQ(ReadFedOutput(buf.data(), 4608), 0u | BASS_STREAMPROC_END);
        helper.join();
        EXPECT_TRUE(m_window->waitFor(WM_FEED_CHANNEL_LOST, 5s));
        CloseFedOutput();
    }
    m_window->waitFor(WM_NULL, 200ms);  // let anything late arrive
    EXPECT_EQ(m_window->count(WM_FEED_CHANNEL_LOST), 1);
}

TEST_F(FedOutput, LossWhileClosingIsNotReported) {
    PositionSource source(UINT64_MAX), origin(UINT64_MAX);
    const DWORD originHandle = origin.handle();
    origin.free();
    ASSERT_NE(OpenFedOutput(source.handle(), originHandle, 44100, 2, 16, false), 0u);
    source.arm();
    // The reader waits for the ring to fill while the feeder's read hangs.
    std::atomic<DWORD> readerResult{1};
    std::thread reader([&] {
        std::vector<uint8_t> buf(4608);
        readerResult = ReadFedOutput(buf.data(), 4608);
    });
    ASSERT_TRUE(source.waitBlocked(5s));
    // The read ends with nothing only once closing has begun.
    constexpr UINT kRelease = WM_USER + 700;
    m_window->on(kRelease, [&] { source.release(false); });
    PostMessage(m_window->hwnd(), kRelease, 0, 0);
    CloseFedOutput();
    reader.join();  // closing ended the reader's wait
    EXPECT_EQ(readerResult.load() & ~BASS_STREAMPROC_END, 0u);
    EXPECT_EQ(m_window->count(kRelease), 1);
    m_window->waitFor(WM_FEED_CHANNEL_LOST, 300ms);
    EXPECT_EQ(m_window->count(WM_FEED_CHANNEL_LOST), 0);
}

TEST_F(FedOutput, FreedSourceWhilePlayingReportsLoss) {
    auto source = std::make_unique<PositionSource>(UINT64_MAX);
    const HSTREAM fed = open(*source);
    ASSERT_NE(fed, 0u);
    ASSERT_TRUE(Bass.BASS_ChannelPlay(fed, FALSE));
    for (int i = 0; i < 500 && Bass.BASS_ChannelGetPosition(fed, BASS_POS_BYTE) == 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_GT(Bass.BASS_ChannelGetPosition(fed, BASS_POS_BYTE), 0u);
    source->free();
    EXPECT_TRUE(m_window->waitFor(WM_FEED_CHANNEL_LOST, 5s));
    CloseFedOutput();
}

TEST_F(FedOutput, PlayingStreamDeliversTheWholeSourceAndStops) {
    constexpr uint64_t kFrames = 22050;  // half a second
    PositionSource source(kFrames);
    const HSTREAM fed = open(source);
    ASSERT_NE(fed, 0u);
    ASSERT_TRUE(Bass.BASS_ChannelPlay(fed, FALSE));
    for (int i = 0; i < 1000 && Bass.BASS_ChannelIsActive(fed) != BASS_ACTIVE_STOPPED; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(Bass.BASS_ChannelIsActive(fed), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(Bass.BASS_ChannelGetPosition(fed, BASS_POS_BYTE), kFrames * 4);
    EXPECT_EQ(BufferedOutputBytes(), 0u);
    CloseFedOutput();
}

// The engine's restart: stop the fed stream, put the source back to its start, reset
// the ring and play again. The whole source then plays once more, nothing twice.
TEST_F(FedOutput, RestartAfterResetPlaysTheSourceAgain) {
    constexpr uint64_t kFrames = 22050;
    PositionSource source(kFrames);
    const HSTREAM fed = open(source);
    ASSERT_NE(fed, 0u);
    ASSERT_TRUE(Bass.BASS_ChannelPlay(fed, FALSE));
    for (int i = 0; i < 500 && Bass.BASS_ChannelGetPosition(fed, BASS_POS_BYTE) < 4 * 4410; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(Bass.BASS_ChannelStop(fed));
    std::this_thread::sleep_for(100ms);  // the feeder answers what was asked before
    source.seekTo(0);
    ASSERT_TRUE(Bass.BASS_ChannelSetPosition(source.handle(), 0, BASS_POS_BYTE));
    ResetOutputRing();
    ASSERT_TRUE(Bass.BASS_ChannelPlay(fed, TRUE));
    for (int i = 0; i < 1000 && Bass.BASS_ChannelIsActive(fed) != BASS_ACTIVE_STOPPED; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(Bass.BASS_ChannelIsActive(fed), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(Bass.BASS_ChannelGetPosition(fed, BASS_POS_BYTE), kFrames * 4);
    CloseFedOutput();
}

// The engine repositions the source, then resets the ring. A block the feeder was
// reading at that moment belongs to the old position and must not be heard.
TEST_F(FedOutput, ResetDropsTheBlockReadBeforeIt) {
    PositionSource source(UINT64_MAX);
    ASSERT_NE(open(source), 0u);
    std::vector<uint8_t> buf(4608);
    ASSERT_EQ(ReadFedOutput(buf.data(), 4608), 4608u);
    EXPECT_TRUE(framesInOrder(buf, 4, 0));

    source.arm();
    ASSERT_EQ(ReadFedOutput(buf.data(), 4608), 4608u);  // asks the feeder for a block
    ASSERT_TRUE(source.waitBlocked(5s));                // which it is reading now
    constexpr uint64_t kSeek = 5'000'000;
    source.seekTo(kSeek);
    ResetOutputRing();
    EXPECT_EQ(BufferedOutputBytes(), 0u);
    source.release();  // the old block comes in after the reset

    bool ended = false;
    const auto got = hosttest::drainFedOutput(4608, 20 * 4608, &ended);
    EXPECT_FALSE(ended);
    ASSERT_GE(got.size(), 4608u);
    EXPECT_TRUE(framesInOrder(got, 4, kSeek));
    CloseFedOutput();
}

TEST_F(FedOutput, ResetsWhileTheFeederRunsKeepTheRingConsistent) {
    PositionSource source(UINT64_MAX);
    ASSERT_NE(open(source), 0u);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        std::vector<uint8_t> buf(3001);
        while (!stop) {
            const DWORD r = ReadFedOutput(buf.data(), 3001);
            ASSERT_EQ(r & BASS_STREAMPROC_END, 0u);
        }
    });
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(2ms);
        source.seekTo(uint64_t(i + 1) * 1'000'000);
        ResetOutputRing();
        ASSERT_LE(BufferedOutputBytes(), OutputRingSize());
    }
    stop = true;
    reader.join();
    // After the last seek and reset everything handed out comes from the new
    // position. (Blocks the feeder read between the seek and the reset are dropped
    // with the older ones, so the first frame may lie a few blocks past the seek.)
    source.seekTo(99'000'000);
    ResetOutputRing();
    const auto got = hosttest::drainFedOutput(4608, 10 * 4608);
    ASSERT_EQ(got.size(), 10u * 4608);
    const uint64_t first = hosttest::frameNumber(got.data(), 16);
    EXPECT_GE(first, 99'000'000u);
    EXPECT_LT(first, 100'000'000u);
    EXPECT_TRUE(framesInOrder(got, 4, first));
    CloseFedOutput();
}

// A side that cannot take the ring within its 3-second wait does not copy: the
// reader hands out nothing, and the feeder keeps its block for later.
TEST_F(FedOutput, BusyRingIsSkippedWithoutOverlapOrLoss) {
    auto& ring = hostRing();
    PositionSource source(UINT64_MAX);
    ASSERT_NE(open(source), 0u);
    std::vector<uint8_t> buf(4608);
    ASSERT_EQ(ReadFedOutput(buf.data(), 4608), 4608u);
    waitUntilFeederIdle(source);  // it answers that read's request

    if (!ring.acquire(TOutputRing::kWriter, TOutputRing::Wait::Sleep, 0)) FAIL() << "the ring is held";
    uint32_t held = BufferedOutputBytes();
    DWORD r = 1;
    std::thread([&] { r = ReadFedOutput(buf.data(), 4608); }).join();
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(BufferedOutputBytes(), held);
    ring.releaseSide(TOutputRing::kWriter);

    // The reader holds the ring while the feeder reads a block for it.
    waitUntilFeederIdle(source);
    held = BufferedOutputBytes();
    ASSERT_GT(ring.freeSpace(), FeedBlockBytes());
    if (!ring.acquire(TOutputRing::kReader, TOutputRing::Wait::Sleep, 0)) FAIL() << "the ring is held";
    const int calls = source.calls();
    quillet::plugins::PluginHost().fedOutput().postFeedRequest();
    for (int i = 0; i < 500 && source.calls() == calls; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_GT(source.calls(), calls);
    std::this_thread::sleep_for(3500ms);  // the feeder gives up once
    EXPECT_EQ(BufferedOutputBytes(), held);
    ring.releaseSide(TOutputRing::kReader);

    const auto out = hosttest::drainFedOutput(4608, held + 3 * 4608);
    EXPECT_GT(out.size(), held);               // the kept block came in
    EXPECT_TRUE(framesInOrder(out, 4, 1152));  // nothing lost, nothing twice
    CloseFedOutput();
}

TEST_F(FedOutput, CloseDoesNotHangOnAStalledSource) {
    PositionSource source(UINT64_MAX);
    const HSTREAM fed = open(source);
    ASSERT_NE(fed, 0u);
    source.arm();  // the feeder's first read stalls
    ASSERT_TRUE(Bass.BASS_ChannelPlay(fed, FALSE));
    ASSERT_TRUE(source.waitBlocked(5s));
    std::this_thread::sleep_for(100ms);  // the output thread waits in the reader

    // The source comes back only when this thread handles a message again. If
    // closing waited for the reader, it never would: a watchdog ends the test.
    constexpr UINT kRelease = WM_USER + 701;
    m_window->on(kRelease, [&] { source.release(); });
    PostMessage(m_window->hwnd(), kRelease, 0, 0);
    std::mutex m;
    std::condition_variable cv;
    bool done = false, watchdogFired = false;
    std::thread watchdog([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, 15s, [&] { return done; })) {
            watchdogFired = true;
            source.release();
            hostRing().inputEnded = true;  // frees a reader that waits
        }
    });
    CloseFedOutput();
    {
        std::lock_guard lock(m);
        done = true;
    }
    cv.notify_all();
    watchdog.join();
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(m_window->count(kRelease), 1);
}

// The fed output is an object of its own. Two of them beside each other, with the
// process's host shut down, each carry their own source whole and in order: one read
// here, one played by the library through its callback.
TEST(FedOutputObjects, TwoOutputsCarryTheirOwnSources) {
    hosttest::ensureLibrary();
    hosttest::MessageWindow window;
    quillet::plugins::TFedOutput direct, played;
    ASSERT_TRUE(direct.init(window.hwnd(), nullptr));
    ASSERT_TRUE(played.init(window.hwnd(), nullptr));
    EXPECT_EQ(direct.ringSize(), 88200u);
    EXPECT_EQ(direct.decodeBufferBytes(), 36864u);
    constexpr uint64_t kDirectFrames = 44100 + 5, kPlayedFrames = 22050;
    PositionSource directSource(kDirectFrames), playedSource(kPlayedFrames);
    const HSTREAM stream = played.open(playedSource.handle(), playedSource.handle(), 44100, 2, 16, false);
    ASSERT_NE(stream, 0u);
    ASSERT_NE(direct.open(directSource.handle(), directSource.handle(), 44100, 2, 16, false), 0u);
    // The process's host is not initialised: it opens nothing.
    EXPECT_EQ(OpenFedOutput(directSource.handle(), directSource.handle(), 44100, 2, 16, false), 0u);

    ASSERT_TRUE(Bass.BASS_ChannelPlay(stream, FALSE));
    std::vector<uint8_t> all, chunk(3001);
    bool ended = false;
    while (!ended && all.size() <= kDirectFrames * 4) {
        const DWORD r = direct.read(chunk.data(), DWORD(chunk.size()));
        all.insert(all.end(), chunk.begin(), chunk.begin() + (r & ~BASS_STREAMPROC_END));
        ended = (r & BASS_STREAMPROC_END) != 0;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(all.size(), kDirectFrames * 4);
    EXPECT_TRUE(framesInOrder(all, 4, 0));
    for (int i = 0; i < 1000 && Bass.BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(Bass.BASS_ChannelGetPosition(stream, BASS_POS_BYTE), kPlayedFrames * 4);

    direct.shutdown();
    played.shutdown();
    EXPECT_EQ(direct.ringSize(), 0u);
    EXPECT_EQ(played.padBufferBytes(), 0u);
}

}  // namespace
