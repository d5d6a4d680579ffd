// The plug-in host's process-wide state, shared by the units of plugins/ (and read by
// their tests). The engine reaches it only through PluginHost.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "engine/types/PlayerTypes.h"
#include "engine/types/StreamInfo.h"
#include "platform/audio/bass.h"
#include "platform/win/WinTypes.h"
#include "plugins/OutputRing.h"

namespace quillet::plugins {

// Buffer sizes. The feed block is 576 samples per channel, doubled for 16-bit samples
// and again above 22050 Hz; at most 8 channels are played through the ring, so the
// largest block is 8 x 576 x 2 x 2 = 18432 bytes. The pad buffer holds one such block
// of silence; the decode buffer holds two.
inline constexpr uint32_t kMaxFedChannels = 8;
inline constexpr uint32_t kMaxFeedBlockBytes = kMaxFedChannels * 576 * 2 * 2;
inline constexpr uint32_t kPadBufferBytes = kMaxFeedBlockBytes;
inline constexpr uint32_t kDecodeBufferBytes = 36864;
// The highest sample rate played through the ring (keeps the ring's size sane).
inline constexpr uint32_t kMaxFedRate = 384000;

struct THostState {
    // Set by InitPluginHost, on the user-interface thread.
    bool initialised = false;
    HWND messageWindow = nullptr;
    HWND ownerWindow = nullptr;
    HWND miniBrowserWindow = nullptr;
    UINT notifyMessage = 0;
    HWND winampWindow = nullptr;
    WNDPROC winampWindowProc = nullptr;  // its procedure when created

    TOutputRing ring;
    std::unique_ptr<uint8_t[]> decodeBuffer;
    uint32_t decodeBufferSize = 0;
    std::unique_ptr<uint8_t[]> padBuffer;
    uint32_t padBufferSize = 0;

    // The engine-state mirror (user-interface thread only).
    TPlayerMode playerMode = plmStandby;
    TStreamInfo streamInfo;
    TStreamKind streamKind = skNone;
    DWORD sourceChannel = 0;
    DWORD outputChannel = 0;

    // The open fed output's format; written by OpenFedOutput before the feeder starts.
    uint32_t sampleRate = 0;
    uint32_t bitsPerSample = 0;
    uint32_t channels = 0;
    uint32_t block200 = 0;   // bytes of 200 ms
    uint32_t feedBlock = 0;  // bytes read from the source per request
    DWORD source = 0;
    DWORD origin = 0;

    // The fed output's threads.
    std::atomic<HSTREAM> fedStream{0};
    std::thread feeder;
    std::atomic<DWORD> feederThreadId{0};
    std::atomic<bool> feederStarted{false};
    // True while a WM_FEED_BLOCK waits in the feeder's queue: requests are coalesced,
    // so a stalled source never floods the queue.
    std::atomic<bool> requestPending{false};
    int closeDepth = 0;  // CloseFedOutput calls running (re-entered through its wait)
};

THostState& Host();

// Creates and destroys the emulated Winamp window (WinampWindow.cpp). Its owner is
// recorded in ownerWindow.
HWND CreateWinampWindow(HWND owner, WNDPROC* procedure);
void DestroyWinampWindow(HWND window, WNDPROC procedure);

// Asks the feeder for one more block, unless a request is already queued.
void PostFeedRequest();

}  // namespace quillet::plugins
