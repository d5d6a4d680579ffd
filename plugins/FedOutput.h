// The fed output: a user stream of the audio library that plays from the output
// ring, and the feeder thread that fills the ring from the engine's decoding channel
// (the source) one feed block at a time.
//
// Threads, each with the part it may touch:
// - the user-interface thread (the one that called init): init, shutdown, open,
//   close and reset; the members of TUiState. The windows are set by init and only
//   read until shutdown.
// - the feeder thread: the block it read and has not stored, which lives in a
//   TFeeder on that thread's own stack (FedOutput.cpp), and the decode buffer.
// - the library's output thread of the fed stream: read (the fed reader).
// - any thread: postFeedRequest, bufferedBytes, and the atomics of TShared.
// The format (TSession) is written by open before the fed stream and the feeder
// exist and is only read while they run. Reader and writer share the ring under its
// own exclusion (OutputRing.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

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

class TFedOutput {
  public:
    TFedOutput() = default;
    TFedOutput(const TFedOutput&) = delete;
    TFedOutput& operator=(const TFedOutput&) = delete;

    // User-interface thread.
    // Records the windows (lost-source notices go to messageWindow, error boxes are
    // owned by owner) and allocates the ring (88200 bytes), the pad and the decode
    // buffer. False, with nothing allocated, when an allocation fails.
    bool init(HWND messageWindow, HWND owner);
    // Closes the output and frees the buffers (sizes become 0).
    void shutdown();
    // A user stream of rate/channels/bits (8 or 16) fed from `source` through the ring,
    // and the feeder thread. `origin` is the engine's own decoding channel. `pad`
    // completes short reads with silence. The stream's handle, or 0.
    HSTREAM open(DWORD source, DWORD origin, DWORD rate, DWORD channels, DWORD bits, bool pad);
    // Frees the fed stream and ends the feeder (waits for it, handling messages).
    void close();
    // Back to prebuffering: positions 0, input ended cleared. No block the feeder read
    // before this call lands in the ring after it.
    void reset();

    // The library's output thread (tests stand in for it with a thread of theirs).
    // Waits while the ring prebuffers, then copies up to `length` bytes. The count,
    // plus BASS_STREAMPROC_END once the input has ended and the ring is drained.
    DWORD read(void* buffer, DWORD length);

    // Any thread.
    // Asks the feeder for one more block, unless a request is already queued.
    void postFeedRequest();
    uint32_t bufferedBytes() const { return m_ring.usedSpace(); }
    uint32_t ringSize() const { return m_ring.size(); }
    uint32_t feedBlockBytes() const { return m_session.feedBlock; }  // of the open (or last) format
    uint32_t padBufferBytes() const { return m_padSize; }
    uint32_t decodeBufferBytes() const { return m_decodeSize; }
    // The ring itself, with its own exclusion: tests hold a side of it to stand in
    // for a reader or a writer that keeps it.
    TOutputRing& ring() { return m_ring; }

  private:
    class TFeeder;
    void feederMain();
    void freeBuffers();
    static DWORD streamProc(HSTREAM, void* buffer, DWORD length, void* user);

    // The user-interface thread's: the feeder's handle and the depth of close calls
    // running (close is re-entered through its wait).
    struct TUiState {
        std::thread feeder;
        int closeDepth = 0;
    };
    // Set by init; read by every thread until shutdown.
    struct TWindows {
        HWND messageWindow = nullptr;  // where the feeder reports a lost source
        HWND owner = nullptr;          // the owner of error boxes
    };
    // The open output's format and channels: written by open before the fed stream
    // and the feeder exist, read-only while they run.
    struct TSession {
        uint32_t sampleRate = 0;
        uint32_t bitsPerSample = 0;
        uint32_t channels = 0;
        uint32_t block200 = 0;   // bytes of 200 ms
        uint32_t feedBlock = 0;  // bytes read from the source per request
        DWORD source = 0;
        DWORD origin = 0;
    };
    // Shared by every thread of the output.
    struct TShared {
        std::atomic<HSTREAM> fedStream{0};
        std::atomic<DWORD> feederThreadId{0};
        std::atomic<bool> feederStarted{false};
        // True while a WM_FEED_BLOCK waits in the feeder's queue: requests are
        // coalesced, so a stalled source never floods the queue.
        std::atomic<bool> requestPending{false};
    };

    TUiState m_ui;
    TWindows m_windows;
    TSession m_session;
    TShared m_shared;
    TOutputRing m_ring;
    // Allocated by init. The decode buffer is written by the feeder only; the pad
    // buffer holds silence and is only read.
    std::unique_ptr<uint8_t[]> m_decodeBuffer;
    uint32_t m_decodeSize = 0;
    std::unique_ptr<uint8_t[]> m_padBuffer;
    uint32_t m_padSize = 0;
};

}  // namespace quillet::plugins
