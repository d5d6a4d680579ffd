// The plug-in host's life cycle, its emulated Winamp window, the ring's sizes and
// the positions it reports.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "plugins/PluginHost.h"
#include "tests/plugins/HostTest.h"

namespace {

using hosttest::HostTest;
using hosttest::MessageWindow;
using hosttest::PositionSource;

TEST(PluginHostInit, NeedsAMessageWindowAndRunsOnce) {
    hosttest::ensureLibrary();
    EXPECT_FALSE(InitPluginHost(nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(OutputRingSize(), 0u);
    EXPECT_EQ(HostWinampWindow(), nullptr);

    MessageWindow window;
    ASSERT_TRUE(InitPluginHost(window.hwnd(), nullptr, nullptr, 0));
    EXPECT_EQ(OutputRingSize(), 88200u);
    EXPECT_GE(PadBufferBytes(), 18432u);  // one feed block of 8 channels, 16 bits, 48 kHz
    EXPECT_EQ(quillet::plugins::PluginHost().fedOutput().decodeBufferBytes(), 36864u);

    // A format that shrinks the ring, then a second initialisation: nothing is
    // allocated again, so the size stays.
    PositionSource source(UINT64_MAX, 11025, 1, 8);
    ASSERT_NE(OpenFedOutput(source.handle(), source.handle(), 11025, 1, 8, false), 0u);
    CloseFedOutput();
    EXPECT_EQ(OutputRingSize(), 6615u);
    EXPECT_TRUE(InitPluginHost(window.hwnd(), nullptr, nullptr, 0));
    EXPECT_EQ(OutputRingSize(), 6615u);

    ShutdownPluginHost();
    EXPECT_EQ(OutputRingSize(), 0u);
    EXPECT_EQ(PadBufferBytes(), 0u);
    EXPECT_EQ(HostWinampWindow(), nullptr);
    ShutdownPluginHost();  // twice is harmless
}

namespace {
int g_subclassedMessages = 0;
LRESULT subclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++g_subclassedMessages;
    return DefWindowProc(hwnd, msg, wParam, lParam);
}
}  // namespace

TEST(PluginHostInit, EmulatedWinampWindowIsFoundUntilShutdown) {
    hosttest::ensureLibrary();
    MessageWindow messages;
    // The owner: a top-level window of this thread.
    HWND owner = CreateWindowEx(0, "PluginsTestWindow", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    ASSERT_TRUE(InitPluginHost(messages.hwnd(), owner, nullptr, 0xC123));
    HWND winamp = HostWinampWindow();
    ASSERT_NE(winamp, nullptr);
    EXPECT_EQ(FindWindow("Winamp v1.x", nullptr), winamp);
    EXPECT_EQ(FindWindow("Winamp v1.x", "Winamp 2.41"), winamp);
    // Asked for its text, it answers with the playing title (none yet).
    char title[64] = {};
    GetWindowText(winamp, title, sizeof title);
    EXPECT_STREQ(title, " - Winamp");
    EXPECT_FALSE(IsWindowVisible(winamp));
    RECT r{};
    ASSERT_TRUE(GetWindowRect(winamp, &r));
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right - r.left, 25);
    EXPECT_EQ(r.bottom - r.top, 25);
    EXPECT_EQ(GetWindowLong(winamp, GWL_STYLE) & LONG(WS_CHILD), 0);
    EXPECT_EQ(GetParent(winamp), owner);  // owned by the player's owner

    // A plug-in that subclassed the window and never put the procedure back: the
    // host restores its own before destroying the window.
    g_subclassedMessages = 0;
    SetWindowLongPtr(winamp, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc));
    SendMessage(winamp, WM_USER, 0, 0);
    EXPECT_EQ(g_subclassedMessages, 1);
    ShutdownPluginHost();
    EXPECT_EQ(g_subclassedMessages, 1);  // no WM_DESTROY reached the plug-in's procedure
    EXPECT_FALSE(IsWindow(winamp));
    EXPECT_EQ(FindWindow("Winamp v1.x", nullptr), nullptr);

    // Without an owner (headless tools) the window is created all the same.
    ASSERT_TRUE(InitPluginHost(messages.hwnd(), nullptr, nullptr, 0));
    EXPECT_EQ(FindWindow("Winamp v1.x", nullptr), HostWinampWindow());
    ShutdownPluginHost();
    DestroyWindow(owner);
}

class PluginHostRing : public HostTest {};

TEST_F(PluginHostRing, OpeningSizesTheRingAndTheFeedBlock) {
    PositionSource source(UINT64_MAX);
    EXPECT_EQ(OutputRingSize(), 88200u);
    ASSERT_NE(OpenFedOutput(source.handle(), source.handle(), 44100, 2, 16, false), 0u);
    EXPECT_EQ(OutputRingSize(), 88200u);
    EXPECT_EQ(FeedBlockBytes(), 4608u);
    CloseFedOutput();
    ASSERT_NE(OpenFedOutput(source.handle(), source.handle(), 11025, 1, 8, false), 0u);
    EXPECT_EQ(OutputRingSize(), 6615u);
    EXPECT_EQ(FeedBlockBytes(), 576u);
    CloseFedOutput();
    ASSERT_NE(OpenFedOutput(source.handle(), source.handle(), 44100, 2, 16, false), 0u);
    EXPECT_EQ(OutputRingSize(), 105840u);
    CloseFedOutput();
    ASSERT_NE(OpenFedOutput(source.handle(), source.handle(), 48000, 8, 16, false), 0u);
    EXPECT_EQ(FeedBlockBytes(), 18432u);
    EXPECT_LE(FeedBlockBytes(), PadBufferBytes());
    CloseFedOutput();
    ASSERT_NE(OpenFedOutput(source.handle(), source.handle(), 22050, 1, 16, false), 0u);
    EXPECT_EQ(FeedBlockBytes(), 1152u);
    CloseFedOutput();
    // Opening over an open output closes it first: one fed stream, one feeder.
    const HSTREAM first = OpenFedOutput(source.handle(), source.handle(), 44100, 2, 16, false);
    const HSTREAM second = OpenFedOutput(source.handle(), source.handle(), 44100, 2, 16, false);
    ASSERT_NE(second, 0u);
    BASS_CHANNELINFO info{};
    EXPECT_FALSE(Bass.BASS_ChannelGetInfo(first, &info));
    EXPECT_TRUE(Bass.BASS_ChannelGetInfo(second, &info));
    CloseFedOutput();
    // Formats the ring does not carry.
    EXPECT_EQ(OpenFedOutput(source.handle(), source.handle(), 44100, 9, 16, false), 0u);
    EXPECT_EQ(OpenFedOutput(source.handle(), source.handle(), 0, 2, 16, false), 0u);
}

TEST_F(PluginHostRing, PositionSubtractsTheBufferedBytesAndNeverGoesNegative) {
    EXPECT_EQ(CurrentPositionMs(), 0u);  // no channel
    PositionSource source(UINT64_MAX);
    const HSTREAM fed = OpenFedOutput(source.handle(), source.handle(), 44100, 2, 16, false);
    ASSERT_NE(fed, 0u);
    SetHostChannels(skStream, source.handle(), fed);
    std::vector<uint8_t> buf(4608);
    ASSERT_EQ(ReadFedOutput(buf.data(), DWORD(buf.size())), 4608u);  // prebuffers, then reads
    // Once the feeder has answered the request that read posted, what was decoded
    // less what the ring holds is what was handed out: 4608 bytes, 26 ms.
    QWORD decoded = 0;
    for (int i = 0; i < 100; ++i) {
        decoded = Bass.BASS_ChannelGetPosition(source.handle(), BASS_POS_BYTE);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (decoded == Bass.BASS_ChannelGetPosition(source.handle(), BASS_POS_BYTE)) break;
    }
    EXPECT_EQ(decoded - BufferedOutputBytes(), 4608u);
    EXPECT_EQ(CurrentPositionMs(), 26u);
    // Single-channel mode: the source is what is heard, nothing is subtracted.
    SetHostChannels(skStream, source.handle(), source.handle());
    EXPECT_EQ(CurrentPositionMs(), uint32_t(std::lround(double(decoded) / 176.4)));
    SetHostChannels(skStream, source.handle(), fed);
    // The source back at its start while the ring still holds a lot: 0, not a
    // wrapped-around huge value.
    ASSERT_GT(BufferedOutputBytes(), 0u);
    ASSERT_TRUE(Bass.BASS_ChannelSetPosition(source.handle(), 0, BASS_POS_BYTE));
    EXPECT_EQ(CurrentPositionMs(), 0u);

    CloseFedOutput();
    SetHostChannels(skNone, 0, 0);
}

}  // namespace
