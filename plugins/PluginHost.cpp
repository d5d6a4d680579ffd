// The plug-in host's life cycle, the engine-state mirror and the positions.
#include "plugins/PluginHost.h"

#include <cmath>
#include <cstring>
#include <new>

#include "engine/bass/Dynamic_Bass.h"
#include "plugins/HostState.h"

namespace quillet::plugins {

THostState& Host() {
    static THostState state;
    return state;
}

}  // namespace quillet::plugins

using quillet::plugins::Host;

namespace {

std::unique_ptr<uint8_t[]> zeroedBuffer(uint32_t size) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (buffer) std::memset(buffer.get(), 0, size);
    return buffer;
}

void freeBuffers() {
    auto& h = Host();
    h.ring.release();
    h.decodeBuffer.reset();
    h.decodeBufferSize = 0;
    h.padBuffer.reset();
    h.padBufferSize = 0;
}

}  // namespace

bool InitPluginHost(HWND messageWindow, HWND owner, HWND miniBrowser, UINT notifyMessage) {
    auto& h = Host();
    if (h.initialised) return true;
    if (!messageWindow) return false;
    h.messageWindow = messageWindow;
    h.ownerWindow = owner;
    h.padBuffer = zeroedBuffer(quillet::plugins::kPadBufferBytes);
    h.decodeBuffer = zeroedBuffer(quillet::plugins::kDecodeBufferBytes);
    if (!h.padBuffer || !h.decodeBuffer || !h.ring.allocate(TOutputRing::kInitialSize)) {
        freeBuffers();
        return false;
    }
    h.padBufferSize = quillet::plugins::kPadBufferBytes;
    h.decodeBufferSize = quillet::plugins::kDecodeBufferBytes;
    h.winampWindow = quillet::plugins::CreateWinampWindow(h.ownerWindow, &h.winampWindowProc);
    h.miniBrowserWindow = miniBrowser;
    h.notifyMessage = notifyMessage;
    h.initialised = true;
    return true;
}

void ShutdownPluginHost() {
    auto& h = Host();
    if (!h.initialised) return;
    CloseFedOutput();
    freeBuffers();
    h.initialised = false;
    quillet::plugins::DestroyWinampWindow(h.winampWindow, h.winampWindowProc);
    h.winampWindow = nullptr;
    h.winampWindowProc = nullptr;
    h.messageWindow = nullptr;
    h.ownerWindow = nullptr;
    h.miniBrowserWindow = nullptr;
    h.notifyMessage = 0;
}

void ResetOutputRing() {
    auto& ring = Host().ring;
    // The reader and the writer hold the ring only for a copy, so this wait is short;
    // it has no limit because a reset must happen.
    if (!ring.acquire(TOutputRing::kReset, TOutputRing::Wait::ProcessMessages, TOutputRing::kUnbounded))
        return;
    // A block the feeder is reading now started before this point: the new generation
    // makes the feeder drop it instead of storing it.
    ring.generation.fetch_add(1);
    ring.clear();
    ring.inputEnded = false;
    ring.prebuffering = true;
    ring.releaseSide(TOutputRing::kReset);
}

uint32_t BufferedOutputBytes() {
    return Host().ring.usedSpace();
}

uint32_t CurrentPositionMs() {
    const auto& h = Host();
    if (h.streamKind == skNone || !BASS_Loaded()) return 0;
    QWORD pos = Bass.BASS_ChannelGetPosition(h.sourceChannel, BASS_POS_BYTE);
    if (pos == QWORD(-1)) return 0;
    if (h.sourceChannel != h.outputChannel) {
        // The fed output: what the ring still holds has been decoded, not heard.
        const QWORD buffered = BufferedOutputBytes();
        pos = pos > buffered ? pos - buffered : 0;
    }
    if (pos == 0) return 0;
    const double seconds = Bass.BASS_ChannelBytes2Seconds(h.sourceChannel, pos);
    if (!(seconds > 0)) return 0;
    const double ms = std::round(seconds * 1000.0);
    return ms >= double(UINT32_MAX) ? UINT32_MAX : uint32_t(ms);
}

void SetHostStreamInfo(const TStreamInfo& info) {
    Host().streamInfo = info;
}
void SetHostPlayerMode(TPlayerMode mode) {
    Host().playerMode = mode;
}

void SetHostChannels(TStreamKind kind, DWORD source, DWORD output) {
    auto& h = Host();
    h.streamKind = kind;
    h.sourceChannel = source;
    h.outputChannel = output;
}

TPlayerMode HostPlayerMode() {
    return Host().playerMode;
}
TStreamInfo HostStreamInfo() {
    return Host().streamInfo;
}
HWND HostWinampWindow() {
    return Host().winampWindow;
}

uint32_t OutputRingSize() {
    return Host().ring.size();
}
uint32_t FeedBlockBytes() {
    return Host().feedBlock;
}
uint32_t PadBufferBytes() {
    return Host().padBufferSize;
}
