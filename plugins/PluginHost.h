// The plug-in host: the state the player shares with plug-ins and with its own
// output path. One per process.
//
// The output ring carries decoded audio from the engine's decoding channel (the
// source) to the fed stream, a user stream of the audio library that is heard: a
// feeder thread reads the source block by block into the ring, the library's output
// thread reads the ring (the fed reader). The host also keeps a mirror of the
// engine's state for plug-in queries and owns the emulated Winamp window.
//
// Threads: the host is initialised, shut down and driven on the user-interface
// thread (the thread that called InitPluginHost); so are the mirror and the windows.
// The fed output's reader and feeder run on their own threads (FedOutput.h says
// which part each may touch).
#pragma once

#include <cstdint>

#include "engine/types/PlayerTypes.h"
#include "engine/types/StreamInfo.h"
#include "platform/audio/bass.h"
#include "platform/win/WinTypes.h"
#include "plugins/FedOutput.h"
#include "plugins/HostMirror.h"

namespace quillet::plugins {

class TPluginHost {
  public:
    // User-interface thread.
    // Records the windows, allocates the fed output's buffers and creates the emulated
    // Winamp window. True at once when already initialised; false when messageWindow
    // is 0 or an allocation fails.
    bool init(HWND messageWindow, HWND owner, HWND miniBrowser, UINT notifyMessage);
    // Closes the fed output, frees its buffers and destroys the emulated window.
    void shutdown();
    bool initialised() const { return m_initialised; }
    // The playing position for plug-in queries: the source's position less what the
    // ring holds, in ms, never negative; 0 when no channel is set.
    uint32_t currentPositionMs() const;

    TFedOutput& fedOutput() { return m_fed; }
    THostMirror& mirror() { return m_mirror; }

    // The windows given to init (0 before it), for answering plug-ins' messages.
    HWND messageWindow() const { return m_messageWindow; }
    HWND ownerWindow() const { return m_ownerWindow; }
    HWND miniBrowserWindow() const { return m_miniBrowserWindow; }
    UINT notifyMessage() const { return m_notifyMessage; }

  private:
    bool m_initialised = false;
    HWND m_messageWindow = nullptr;
    HWND m_ownerWindow = nullptr;
    HWND m_miniBrowserWindow = nullptr;
    UINT m_notifyMessage = 0;
    TFedOutput m_fed;
    THostMirror m_mirror;
};

// The process's plug-in host.
TPluginHost& PluginHost();

}  // namespace quillet::plugins

// The host's operations under the names the engine calls them by; each forwards to
// PluginHost(). Threads as above.
bool InitPluginHost(HWND messageWindow, HWND owner, HWND miniBrowser, UINT notifyMessage);
void ShutdownPluginHost();

// Opens the fed output: a user stream of rate/channels/bits (8 or 16) fed from
// `source` through the ring, and the feeder thread. `origin` is the engine's own
// decoding channel (the engine passes the same handle twice). `pad` completes short
// reads with silence (live network streams). Returns the fed stream's handle, or 0
// (also when the host is not initialised). The caller starts the stream
// (BASS_ChannelPlay).
HSTREAM OpenFedOutput(DWORD source, DWORD origin, DWORD rate, DWORD channels, DWORD bits, bool pad);
// Frees the fed stream and ends the feeder thread (waits for it, processing messages).
void CloseFedOutput();

// The fed stream's read callback (the fed reader). The audio library calls it on the
// fed stream's output thread; tests call it on a thread of theirs to stand in for
// that one. Waits while the ring is prebuffering (until prebuffering or the input
// ends, or the output is closing), then copies up to `length` bytes. Returns the
// count, plus BASS_STREAMPROC_END when the input has ended and the ring is drained.
DWORD ReadFedOutput(void* buffer, DWORD length);

// Back to prebuffering: positions 0, input ended cleared. No block the feeder read
// from the source before this call lands in the ring after it.
void ResetOutputRing();
// Decoded bytes not yet handed to the fed stream.
uint32_t BufferedOutputBytes();
// The playing position for plug-in queries (TPluginHost::currentPositionMs).
uint32_t CurrentPositionMs();

// The engine-state mirror.
void SetHostStreamInfo(const TStreamInfo& info);
void SetHostPlayerMode(TPlayerMode mode);
void SetHostChannels(TStreamKind kind, DWORD source, DWORD output);

// Read side of the mirror and of the host's windows (plug-in answers, tests).
TPlayerMode HostPlayerMode();
TStreamInfo HostStreamInfo();
HWND HostWinampWindow();  // the emulated Winamp window, 0 when not initialised

// Sizes, for tests and diagnostics.
uint32_t OutputRingSize();  // bytes; 0 when not initialised
uint32_t FeedBlockBytes();  // of the open (or last opened) format
uint32_t PadBufferBytes();
