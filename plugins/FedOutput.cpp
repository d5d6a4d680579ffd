// The fed output: a user stream of the audio library that plays from the output
// ring, and the feeder thread that fills the ring from the engine's decoding channel.
//
// The feeder reads a block from the source into the decode buffer without holding
// the ring, then takes the ring (writer side) only to store the block. A reset
// between the two makes the block stale: its generation no longer matches and it is
// dropped, so nothing read before the source was repositioned reaches the ring.
#include "plugins/FedOutput.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "engine/bass/Dynamic_Bass.h"
#include "engine/types/PlayerTypes.h"
#include "platform/win/MessageLayer.h"

namespace quillet::plugins {

namespace {

// Steps of the waits that follow another thread (20 ms each).
constexpr auto kWaitStep = TOutputRing::kBusyWaitStep;
// The feeder's scheduling boost: a lower nice value than normal threads, so the
// ring refills ahead of the output thread.
constexpr int kFeederNice = -5;

std::unique_ptr<uint8_t[]> zeroedBuffer(uint32_t size) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (buffer) std::memset(buffer.get(), 0, size);
    return buffer;
}

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

void raiseFeederPriority() {
    // Best effort: without the right to lower a nice value the feeder runs at normal
    // priority, which only makes the ring refill later.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    (void)setpriority(PRIO_PROCESS, tid, kFeederNice);
}

}  // namespace

// The feeder thread's side of the output. It lives on that thread's stack, so the
// block it read and has not yet stored is out of every other thread's reach.
class TFedOutput::TFeeder {
  public:
    explicit TFeeder(TFedOutput& output) : m_out(output) {}

    // One request: 0 when a full block was stored, 1 when nothing more for now, -1
    // when the source is lost.
    int decodeBlock();

  private:
    // What was read and not yet stored. A block stays here when the ring could not be
    // taken in time, and is stored by the next request.
    struct TPendingBlock {
        enum Kind { kNone, kData, kEmpty, kFailed } kind = kNone;
        uint32_t bytes = 0;
        uint64_t generation = 0;
        bool lost = false;  // an empty or failed read whose channel is gone
    };

    void readBlock();
    bool fedStreamActive() const;

    TFedOutput& m_out;
    TPendingBlock m_pending;
};

bool TFedOutput::TFeeder::fedStreamActive() const {
    const HSTREAM stream = m_out.m_shared.fedStream.load();
    if (!stream) return false;
    const DWORD state = Bass.BASS_ChannelIsActive(stream);
    return state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED;
}

// Reads one block from the source into the decode buffer (nothing is held).
void TFedOutput::TFeeder::readBlock() {
    const TSession& s = m_out.m_session;
    uint8_t* decode = m_out.m_decodeBuffer.get();
    m_pending = {};
    m_pending.generation = m_out.m_ring.generation.load();
    const DWORD got = Bass.BASS_ChannelGetData(s.source, decode, s.feedBlock);
    if (got == DWORD(-1)) {
        m_pending.kind = TPendingBlock::kFailed;
        m_pending.lost = Bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
        return;
    }
    if (got == 0) {
        m_pending.kind = TPendingBlock::kEmpty;
        // The engine's own channel gone while reading another one: the source lost.
        m_pending.lost = s.source != s.origin &&
                         Bass.BASS_ChannelGetPosition(s.origin, BASS_POS_BYTE) == QWORD(-1) &&
                         Bass.BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
        return;
    }
    uint32_t bytes = std::min<uint32_t>(got, s.feedBlock);
    if (m_out.m_ring.padBlocks && bytes < s.feedBlock) {
        // Live streams: a short read is completed with silence and reading goes on.
        std::memcpy(decode + bytes, m_out.m_padBuffer.get(), s.feedBlock - bytes);
        bytes = s.feedBlock;
    }
    m_pending.kind = TPendingBlock::kData;
    m_pending.bytes = bytes;
}

int TFedOutput::TFeeder::decodeBlock() {
    const TSession& s = m_out.m_session;
    auto& ring = m_out.m_ring;
    if (m_pending.kind != TPendingBlock::kNone && m_pending.generation != ring.generation.load())
        m_pending = {};  // read before a reset
    if (!m_out.m_shared.fedStream.load() || ring.inputEnded) return 1;
    if (m_pending.kind == TPendingBlock::kNone) {
        // A block never fills the ring completely, so a full ring never looks empty.
        if (ring.freeSpace() <= s.feedBlock) return 1;
        readBlock();
    }
    if (!ring.acquire(TOutputRing::kWriter, TOutputRing::Wait::Sleep, TOutputRing::kBusyWaits)) {
        // The reader kept the ring for 3 s: keep the block and try again later.
        m_out.postFeedRequest();
        return 1;
    }
    if (m_pending.generation != ring.generation.load()) {
        // The ring was reset while the block was read: it belongs to the old position.
        ring.releaseSide(TOutputRing::kWriter);
        m_pending = {};
        m_out.postFeedRequest();
        return 1;
    }
    if (m_pending.kind == TPendingBlock::kData && ring.freeSpace() <= m_pending.bytes) {
        // Cannot happen while only the reader frees space; kept for the next request.
        ring.releaseSide(TOutputRing::kWriter);
        return 1;
    }
    int result = 1;
    bool wasPrebuffering = false;
    switch (m_pending.kind) {
        case TPendingBlock::kFailed:
        case TPendingBlock::kEmpty:
            ring.inputEnded = true;
            result = m_pending.lost && !ring.closing ? -1 : 1;
            break;
        case TPendingBlock::kData:
            ring.write(m_out.m_decodeBuffer.get(), m_pending.bytes);
            if (m_pending.bytes < s.feedBlock) {
                ring.inputEnded = true;  // after the bytes: the reader sees them first
                break;
            }
            result = 0;
            wasPrebuffering = ring.prebuffering;
            if (wasPrebuffering &&
                (ring.freeSpace() <= s.feedBlock || ring.usedSpace() >= 2 * uint64_t(s.block200)))
                ring.prebuffering = false;
            break;
        case TPendingBlock::kNone:
            break;
    }
    const bool room = ring.freeSpace() > s.feedBlock;
    ring.releaseSide(TOutputRing::kWriter);
    m_pending = {};
    // Chain the next block while the ring fills for a start or the stream plays.
    if (result == 0 && room && m_out.m_shared.fedStream.load() && (wasPrebuffering || fedStreamActive()))
        m_out.postFeedRequest();
    return result;
}

void TFedOutput::feederMain() {
    TFeeder feeder(*this);
    m_shared.feederThreadId = quillet::win::EnsureThreadQueue();
    raiseFeederPriority();
    m_shared.feederStarted = true;
    bool closeRequested = false;
    MSG msg;
    while (!closeRequested && m_shared.fedStream.load()) {
        const BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (msg.hwnd == nullptr && msg.message == WM_CLOSE) {
            closeRequested = true;
        } else if (msg.hwnd == nullptr && msg.message == WM_FEED_BLOCK) {
            m_shared.requestPending = false;
            if (m_shared.fedStream.load() && feeder.decodeBlock() == -1)
                PostMessage(m_windows.messageWindow, WM_FEED_CHANNEL_LOST, 0, 0);
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    m_shared.feederThreadId = 0;
}

DWORD TFedOutput::streamProc(HSTREAM, void* buffer, DWORD length, void* user) {
    return static_cast<TFedOutput*>(user)->read(buffer, length);
}

void TFedOutput::postFeedRequest() {
    const DWORD id = m_shared.feederThreadId.load();
    if (!id || m_shared.requestPending.exchange(true)) return;
    if (!PostThreadMessage(id, WM_FEED_BLOCK, 0, 0)) m_shared.requestPending = false;
}

bool TFedOutput::init(HWND messageWindow, HWND owner) {
    m_padBuffer = zeroedBuffer(kPadBufferBytes);
    m_decodeBuffer = zeroedBuffer(kDecodeBufferBytes);
    if (!m_padBuffer || !m_decodeBuffer || !m_ring.allocate(TOutputRing::kInitialSize)) {
        freeBuffers();
        return false;
    }
    m_padSize = kPadBufferBytes;
    m_decodeSize = kDecodeBufferBytes;
    m_windows = {messageWindow, owner};
    return true;
}

void TFedOutput::shutdown() {
    close();
    freeBuffers();
    m_windows = {};
}

void TFedOutput::freeBuffers() {
    m_ring.release();
    m_decodeBuffer.reset();
    m_decodeSize = 0;
    m_padBuffer.reset();
    m_padSize = 0;
}

DWORD TFedOutput::read(void* buffer, DWORD length) {
    // This runs on the library's output thread, which has no windows and no queue to
    // serve, so the waits here sleep instead of processing messages.
    // The request is repeated at every step (requests are coalesced, so this costs
    // nothing): a reset can make the feeder drop or skip the block it was answering
    // with, and the wait must not outlive its last request.
    while (m_ring.prebuffering && !m_ring.inputEnded && !m_ring.closing) {
        postFeedRequest();
        std::this_thread::sleep_for(kWaitStep);
    }
    // The writer kept the ring for 3 s: nothing this time; the library asks again.
    if (!m_ring.acquire(TOutputRing::kReader, TOutputRing::Wait::Sleep, TOutputRing::kBusyWaits)) return 0;
    // Read under the ring: the writer sets input ended only after storing its last
    // bytes, so an ended input here means those bytes are in the ring.
    const bool ended = m_ring.inputEnded;
    const DWORD n = m_ring.read(static_cast<uint8_t*>(buffer), length);
    m_ring.releaseSide(TOutputRing::kReader);
    if (n < length && ended) return n | BASS_STREAMPROC_END;
    postFeedRequest();
    return n;
}

HSTREAM TFedOutput::open(DWORD source, DWORD origin, DWORD rate, DWORD channels, DWORD bits, bool pad) {
    // Not from a message handled inside close's wait: that close would then wait for
    // the new feeder, which never ends by itself.
    if (!m_padBuffer || !BASS_Loaded() || m_ui.closeDepth > 0) return 0;
    if (m_shared.fedStream.load() || m_ui.feeder.joinable()) close();
    if (rate == 0 || rate > kMaxFedRate || channels == 0 || channels > kMaxFedChannels) return 0;
    const uint32_t sampleBits = bits == 8 ? 8 : 16;
    m_ring.closing = false;
    m_ring.padBlocks = pad;
    const HSTREAM stream =
        Bass.BASS_StreamCreate(rate, channels, sampleBits == 8 ? BASS_SAMPLE_8BITS : 0, streamProc, this);
    if (!stream) return 0;
    TSession& s = m_session;
    s.sampleRate = rate;
    s.bitsPerSample = sampleBits;
    s.channels = channels;
    s.block200 = uint32_t(TOutputRing::blockFor(rate, channels, sampleBits));
    s.feedBlock = channels * 576 * (sampleBits > 8 ? 2 : 1) * (rate > 22050 ? 2 : 1);
    // A ring of fewer than three feed blocks (very low rates) could never end its
    // prebuffering.
    if (!m_ring.fitToBlock(s.block200, 3 * s.feedBlock)) {
        Bass.BASS_StreamFree(stream);
        return 0;
    }
    s.source = source;
    s.origin = origin;
    // Neither reader nor writer runs yet: the ring is free at once.
    if (m_ring.acquire(TOutputRing::kReset, TOutputRing::Wait::Sleep, TOutputRing::kUnbounded)) {
        m_ring.clear();
        m_ring.releaseSide(TOutputRing::kReset);
    }
    m_ring.generation.fetch_add(1);
    m_ring.inputEnded = false;
    m_ring.prebuffering = true;
    m_shared.requestPending = false;
    m_shared.feederStarted = false;
    m_shared.fedStream = stream;
    try {
        m_ui.feeder = std::thread(&TFedOutput::feederMain, this);
    } catch (const std::system_error&) {
        m_shared.fedStream = 0;
        Bass.BASS_StreamFree(stream);
        MessageBox(m_windows.owner, "Unable to create Play Thread.", "Error", MB_OK | MB_ICONERROR);
        return 0;
    }
    waitProcessingMessages([&] { return m_shared.feederStarted.load(); });
    return stream;
}

void TFedOutput::close() {
    ++m_ui.closeDepth;
    m_ring.closing = true;
    if (const HSTREAM stream = m_shared.fedStream.exchange(0)) Bass.BASS_StreamFree(stream);
    if (m_ui.feeder.joinable()) {
        if (const DWORD id = m_shared.feederThreadId.load()) PostThreadMessage(id, WM_CLOSE, 0, 0);
        waitProcessingMessages([&] { return m_shared.feederThreadId.load() == 0; });
        // A close run from inside this wait may have ended the thread already.
        if (m_ui.feeder.joinable()) m_ui.feeder.join();
    }
    // Nothing plays what the ring still holds once the output is closed: drop it, so
    // the buffered count (and the position built on it) reads nothing buffered.
    // Reader and writer are gone, so the ring is free at once.
    if (m_ui.closeDepth == 1 &&
        m_ring.acquire(TOutputRing::kReset, TOutputRing::Wait::Sleep, TOutputRing::kUnbounded)) {
        m_ring.clear();
        m_ring.releaseSide(TOutputRing::kReset);
    }
    --m_ui.closeDepth;
}

void TFedOutput::reset() {
    // The reader and the writer hold the ring only for a copy, so this wait is short;
    // it has no limit because a reset must happen.
    if (!m_ring.acquire(TOutputRing::kReset, TOutputRing::Wait::ProcessMessages, TOutputRing::kUnbounded))
        return;
    // A block the feeder is reading now started before this point: the new generation
    // makes the feeder drop it instead of storing it.
    m_ring.generation.fetch_add(1);
    m_ring.clear();
    m_ring.inputEnded = false;
    m_ring.prebuffering = true;
    m_ring.releaseSide(TOutputRing::kReset);
}

}  // namespace quillet::plugins
