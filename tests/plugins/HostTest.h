// Helpers shared by the plug-in host's tests: the audio library on device 0, a
// message window that records what it gets, and decoding user streams whose
// samples carry their own frame numbers.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/MessageLayer.h"
#include "plugins/PluginHost.h"

namespace hosttest {

// Loads libbass.so from the test's folder and initialises device 0 (no sound, timed
// by the clock) once per process.
void ensureLibrary();

// A message-only window of the calling thread. It records every message at or above
// WM_USER; a handler set for a number runs when that message arrives.
class MessageWindow {
  public:
    MessageWindow();
    ~MessageWindow();
    HWND hwnd() const { return m_hwnd; }
    void on(UINT msg, std::function<void()> handler) { m_handlers[msg] = std::move(handler); }
    int count(UINT msg) const;
    // Processes the thread's messages until count(msg) > 0 or the timeout passes.
    bool waitFor(UINT msg, std::chrono::milliseconds timeout);

  private:
    static LRESULT proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hwnd = nullptr;
    std::vector<UINT> m_received;
    std::map<UINT, std::function<void()>> m_handlers;
};

// The frame number a frame of a PositionSource carries (16-bit samples: channel 0
// holds the low 16 bits, channel 1 the next 16; 8-bit: channel 0 the low 8 bits).
uint64_t frameNumber(const uint8_t* frame, uint32_t bits);

// A decoding user stream whose frame i carries the number i. The stream ends after
// `total` frames. Bursts: when burstFrames is set, the stream gives that many frames
// and then has nothing for one call, again and again.
class PositionSource {
  public:
    PositionSource(uint64_t total, uint32_t rate = 44100, uint32_t channels = 2, uint32_t bits = 16);
    ~PositionSource();
    HSTREAM handle() const { return m_handle; }
    uint32_t frameBytes() const { return m_frameBytes; }
    void free();  // frees the stream now

    void setBurst(uint32_t frames) { m_burst = frames; }
    // Calls made after this give frames from `frame` on (a call in progress keeps
    // the frames it started with).
    void seekTo(uint64_t frame) { m_next = frame; }
    // Makes the next call wait until release(); waitBlocked() returns when a call
    // waits. While held, release(false) lets that call give nothing.
    void arm();
    bool waitBlocked(std::chrono::milliseconds timeout);
    void release(bool giveData = true);
    int calls() const { return m_calls; }

  private:
    static DWORD proc(HSTREAM, void* buffer, DWORD length, void* user);
    DWORD fill(uint8_t* out, DWORD length);
    HSTREAM m_handle = 0;
    uint64_t m_total;
    uint32_t m_channels, m_bits, m_frameBytes;
    std::atomic<uint64_t> m_next{0};
    std::atomic<uint32_t> m_burst{0};
    uint32_t m_burstLeft = 0;  // the callback's own state
    bool m_gap = false;
    std::atomic<int> m_calls{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_armed = false, m_blocked = false, m_released = false, m_giveData = true;
};

// Reads the fed output through its reader until the end flag or `maxBytes`; returns
// the bytes. `step` is the request size.
std::vector<uint8_t> drainFedOutput(DWORD step, size_t maxBytes, bool* sawEnd = nullptr);

// Checks that `bytes` hold frames first, first+1, ... (16-bit); returns the number of
// frames checked, or the index of the first wrong frame as a failure.
::testing::AssertionResult framesInOrder(const std::vector<uint8_t>& bytes, uint32_t frameBytes,
                                         uint64_t first);

// Initialises the host with a fresh message window for each test and shuts it down
// afterwards.
class HostTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<MessageWindow> m_window;
};

}  // namespace hosttest
