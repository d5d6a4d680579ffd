// The fed output: a user stream of the audio library that plays from the output
// ring, and the feeder thread that fills the ring from the engine's decoding channel.
//
// The feeder reads a block from the source into the decode buffer without holding
// the ring, then takes the ring (writer side) only to store the block. A reset
// between the two makes the block stale: its generation no longer matches and it is
// dropped, so nothing read before the source was repositioned reaches the ring.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/MessageLayer.h"
#include "plugins/HostState.h"
#include "plugins/PluginHost.h"

namespace quillet::plugins {

namespace {

// Steps of the waits that follow another thread (20 ms each).
constexpr auto kWaitStep = TOutputRing::kBusyWaitStep;
// The feeder's scheduling boost: a lower nice value than normal threads, so the
// ring refills ahead of the output thread.
constexpr int kFeederNice = -5;

// What the feeder read and has not yet stored (feeder thread only). A block stays
// here when the ring could not be taken in time, and is stored by the next request.
struct TPendingBlock {
    enum Kind { kNone, kData, kEmpty, kFailed } kind = kNone;
    uint32_t bytes = 0;
    uint64_t generation = 0;
    bool lost = false;  // an empty or failed read whose channel is gone
};
// Part of the plug-in host, one per process like the fed output it belongs to.
TPendingBlock g_pending;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// Waits on the user-interface thread until done() holds, handling its messages.
template <typename Done>
void waitProcessingMessages(Done done) {
    for (int i = 0; i < 64 && !done(); ++i) std::this_thread::yield();
    while (!done()) {
        quillet::win::ProcessMessages();
        if (done()) break;
        std::this_thread::sleep_for(kWaitStep);
    }
}

bool fedStreamActive() {
    const HSTREAM stream = Host().fedStream.load();
    if (!stream) return false;
    const DWORD state = Bass.BASS_ChannelIsActive(stream);
    return state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED;
}

// Reads one block from the source into the decode buffer (nothing is held).
void readBlock() {
    auto& h = Host();
    g_pending = {};
    g_pending.generation = h.ring.generation.load();
    const DWORD got = Bass.BASS_ChannelGetData(h.source, h.decodeBuffer.get(), h.feedBlock);
    if (got == DWORD(-1)) {
        g_pending.kind = TPendingBlock::kFailed;
        g_pending.lost = Bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
        return;
    }
    if (got == 0) {
        g_pending.kind = TPendingBlock::kEmpty;
        // The engine's own channel gone while reading another one: the source lost.
        g_pending.lost = h.source != h.origin &&
                         Bass.BASS_ChannelGetPosition(h.origin, BASS_POS_BYTE) == QWORD(-1) &&
                         Bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
        return;
    }
    uint32_t bytes = std::min<uint32_t>(got, h.feedBlock);
    if (h.ring.padBlocks && bytes < h.feedBlock) {
        // Live streams: a short read is completed with silence and reading goes on.
        std::memcpy(h.decodeBuffer.get() + bytes, h.padBuffer.get(), h.feedBlock - bytes);
        bytes = h.feedBlock;
    }
    g_pending.kind = TPendingBlock::kData;
    g_pending.bytes = bytes;
}

// One request: 0 when a full block was stored, 1 when nothing more for now, -1 when
// the source is lost.
int decodeBlock() {
    auto& h = Host();
    auto& ring = h.ring;
    if (g_pending.kind != TPendingBlock::kNone && g_pending.generation != ring.generation.load())
        g_pending = {};  // read before a reset
    if (!h.fedStream.load() || ring.inputEnded) return 1;
    if (g_pending.kind == TPendingBlock::kNone) {
        // A block never fills the ring completely, so a full ring never looks empty.
        if (ring.freeSpace() <= h.feedBlock) return 1;
        readBlock();
    }
    if (!ring.acquire(TOutputRing::kWriter, TOutputRing::Wait::Sleep, TOutputRing::kBusyWaits)) {
        // The reader kept the ring for 3 s: keep the block and try again later.
        PostFeedRequest();
        return 1;
    }
    if (g_pending.generation != ring.generation.load()) {
        // The ring was reset while the block was read: it belongs to the old position.
        ring.releaseSide(TOutputRing::kWriter);
        g_pending = {};
        PostFeedRequest();
        return 1;
    }
    if (g_pending.kind == TPendingBlock::kData && ring.freeSpace() <= g_pending.bytes) {
        // Cannot happen while only the reader frees space; kept for the next request.
        ring.releaseSide(TOutputRing::kWriter);
        return 1;
    }
    int result = 1;
    bool wasPrebuffering = false;
    switch (g_pending.kind) {
        case TPendingBlock::kFailed:
        case TPendingBlock::kEmpty:
            ring.inputEnded = true;
            result = g_pending.lost && !ring.closing ? -1 : 1;
            break;
        case TPendingBlock::kData:
            ring.write(h.decodeBuffer.get(), g_pending.bytes);
            if (g_pending.bytes < h.feedBlock) {
                ring.inputEnded = true;  // after the bytes: the reader sees them first
                break;
            }
            result = 0;
            wasPrebuffering = ring.prebuffering;
            if (wasPrebuffering &&
                (ring.freeSpace() <= h.feedBlock || ring.usedSpace() >= 2 * uint64_t(h.block200)))
                ring.prebuffering = false;
            break;
        case TPendingBlock::kNone:
            break;
    }
    const bool room = ring.freeSpace() > h.feedBlock;
    ring.releaseSide(TOutputRing::kWriter);
    g_pending = {};
    // Chain the next block while the ring fills for a start or the stream plays.
    if (result == 0 && room && h.fedStream.load() && (wasPrebuffering || fedStreamActive()))
        PostFeedRequest();
    return result;
}

void raiseFeederPriority() {
    // Best effort: without the right to lower a nice value the feeder runs at normal
    // priority, which only makes the ring refill later.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    (void)setpriority(PRIO_PROCESS, tid, kFeederNice);
}

void feederMain() {
    auto& h = Host();
    h.feederThreadId = quillet::win::EnsureThreadQueue();
    raiseFeederPriority();
    h.feederStarted = true;
    bool closeRequested = false;
    MSG msg;
    while (!closeRequested && h.fedStream.load()) {
        const BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (msg.hwnd == nullptr && msg.message == WM_CLOSE) {
            closeRequested = true;
        } else if (msg.hwnd == nullptr && msg.message == WM_FEED_BLOCK) {
            h.requestPending = false;
            if (h.fedStream.load() && decodeBlock() == -1)
                PostMessage(h.messageWindow, WM_FEED_CHANNEL_LOST, 0, 0);
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    h.feederThreadId = 0;
}

DWORD fedStreamProc(HSTREAM, void* buffer, DWORD length, void*) {
    return ReadFedOutput(buffer, length);
}

}  // namespace

void PostFeedRequest() {
    auto& h = Host();
    const DWORD id = h.feederThreadId.load();
    if (!id || h.requestPending.exchange(true)) return;
    if (!PostThreadMessage(id, WM_FEED_BLOCK, 0, 0)) h.requestPending = false;
}

}  // namespace quillet::plugins

using quillet::plugins::Host;

DWORD ReadFedOutput(void* buffer, DWORD length) {
    auto& h = Host();
    auto& ring = h.ring;
    // This runs on the library's output thread, which has no windows and no queue to
    // serve, so the waits here sleep instead of processing messages.
    // The request is repeated at every step (requests are coalesced, so this costs
    // nothing): a reset can make the feeder drop or skip the block it was answering
    // with, and the wait must not outlive its last request.
    while (ring.prebuffering && !ring.inputEnded && !ring.closing) {
        quillet::plugins::PostFeedRequest();
        std::this_thread::sleep_for(quillet::plugins::kWaitStep);
    }
    // The writer kept the ring for 3 s: nothing this time; the library asks again.
    if (!ring.acquire(TOutputRing::kReader, TOutputRing::Wait::Sleep, TOutputRing::kBusyWaits)) return 0;
    // Read under the ring: the writer sets input ended only after storing its last
    // bytes, so an ended input here means those bytes are in the ring.
    const bool ended = ring.inputEnded;
    const DWORD n = ring.read(static_cast<uint8_t*>(buffer), length);
    ring.releaseSide(TOutputRing::kReader);
    if (n < length && ended) return n | BASS_STREAMPROC_END;
    quillet::plugins::PostFeedRequest();
    return n;
}

HSTREAM OpenFedOutput(DWORD source, DWORD origin, DWORD rate, DWORD channels, DWORD bits, bool pad) {
    using namespace quillet::plugins;
    auto& h = Host();
    // Not from a message handled inside CloseFedOutput's wait: that close would then
    // wait for the new feeder, which never ends by itself.
    if (!h.initialised || !BASS_Loaded() || h.closeDepth > 0) return 0;
    if (h.fedStream.load() || h.feeder.joinable()) CloseFedOutput();
    if (rate == 0 || rate > kMaxFedRate || channels == 0 || channels > kMaxFedChannels) return 0;
    const uint32_t sampleBits = bits == 8 ? 8 : 16;
    h.ring.closing = false;
    h.ring.padBlocks = pad;
    const HSTREAM stream = Bass.BASS_StreamCreate(rate, channels, sampleBits == 8 ? BASS_SAMPLE_8BITS : 0,
                                                  fedStreamProc, nullptr);
    if (!stream) return 0;
    h.sampleRate = rate;
    h.bitsPerSample = sampleBits;
    h.channels = channels;
    h.block200 = uint32_t(TOutputRing::blockFor(rate, channels, sampleBits));
    h.feedBlock = channels * 576 * (sampleBits > 8 ? 2 : 1) * (rate > 22050 ? 2 : 1);
    // A ring of fewer than three feed blocks (very low rates) could never end its
    // prebuffering.
    if (!h.ring.fitToBlock(h.block200, 3 * h.feedBlock)) {
        Bass.BASS_StreamFree(stream);
        return 0;
    }
    h.source = source;
    h.origin = origin;
    // Neither reader nor writer runs yet: the ring is free at once.
    if (h.ring.acquire(TOutputRing::kReset, TOutputRing::Wait::Sleep, TOutputRing::kUnbounded)) {
        h.ring.clear();
        h.ring.releaseSide(TOutputRing::kReset);
    }
    h.ring.generation.fetch_add(1);
    h.ring.inputEnded = false;
    h.ring.prebuffering = true;
    g_pending = {};
    h.requestPending = false;
    h.feederStarted = false;
    h.fedStream = stream;
    try {
        h.feeder = std::thread(feederMain);
    } catch (const std::system_error&) {
        h.fedStream = 0;
        Bass.BASS_StreamFree(stream);
        MessageBox(h.ownerWindow, "Unable to create Play Thread.", "Error", MB_OK | MB_ICONERROR);
        return 0;
    }
    waitProcessingMessages([&] { return h.feederStarted.load(); });
    return stream;
}

void CloseFedOutput() {
    auto& h = Host();
    ++h.closeDepth;
    h.ring.closing = true;
    if (const HSTREAM stream = h.fedStream.exchange(0)) Bass.BASS_StreamFree(stream);
    if (h.feeder.joinable()) {
        if (const DWORD id = h.feederThreadId.load()) PostThreadMessage(id, WM_CLOSE, 0, 0);
        quillet::plugins::waitProcessingMessages([&] { return h.feederThreadId.load() == 0; });
        // A close run from inside this wait may have ended the thread already.
        if (h.feeder.joinable()) h.feeder.join();
    }
    --h.closeDepth;
}
