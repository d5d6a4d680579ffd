// One download over HTTP (the transport of Transfer.h) on a thread of its
// own, and the bytes it has brought in so far.
//
// The body's audio bytes (ICY metadata removed) are kept in order and read
// by offset. A file of known length, or of unknown length up to a cap, is
// kept whole, so it can be decoded again from the start once it is
// complete; an internet radio keeps only what lies a little behind the
// reader, and the download pauses while more than the network buffer lies
// ahead of it (so a live stream is heard close to when it was sent).
//
// Threads: the download thread writes; any thread reads. Every method is
// thread-safe. Blocking reads return when the data are there, the download
// ended or failed, or abort() was called; the download itself fails after
// the connect timeout or when nothing arrives for the stall timeout, so no
// read waits without bound. Without the transport library every download
// fails at once with BASS_ERROR_NONET.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/core/net/NetParse.h"
#include "platform/audio/core/net/Transfer.h"

namespace qaudio::net {

struct NetConfig {
    uint32_t connectTimeoutMs = 10000;
    uint32_t stallTimeoutMs = 20000;
    uint32_t bufferMs = 3000;  // the network buffer of a live stream, in audio time
};

// What a whole-file download may keep in memory. A longer stream of unknown
// length goes on as a live one (only the part near the reader is kept).
inline constexpr uint64_t kMaxKeptBytes = 256ull << 20;
// Metadata texts waiting for the reader to reach their place.
inline constexpr size_t kMaxPendingMeta = 64;

class NetStream final : private TransferSink {
  public:
    // Starts downloading `url` from byte `offset`. `proc` (may be null) gets
    // the received bytes on the download thread, and (nullptr, 0) at the end.
    NetStream(std::string url, uint64_t offset, const NetConfig& config, DOWNLOADPROC proc, void* user);
    ~NetStream();  // aborts and joins the download thread
    NetStream(const NetStream&) = delete;
    NetStream& operator=(const NetStream&) = delete;

    // Waits until the response's headers have arrived; false when the
    // request failed (the error is a BASS_ERROR_* code).
    bool waitHead(int& error);
    ResponseHead head() const;

    // Copies up to `count` bytes at `offset`, waiting until `atLeast` of them
    // (at least one) are there or the download has ended. 0 at the end of the
    // data, after a failure, after abort(), or when `offset` lies before what
    // is still kept.
    size_t read(uint64_t offset, void* out, size_t count, size_t atLeast = 1);
    // Waits until `offset` bytes have arrived (or the download ended). False
    // when they never will.
    bool waitFor(uint64_t offset);

    // The reader has read up to `offset`: a live stream may forget what lies
    // more than a little behind it, and the download goes on when the
    // buffer has room again.
    void consumed(uint64_t offset);
    // The metadata texts that arrived before `offset`, oldest first; they
    // are handed out once.
    std::vector<std::string> takeMeta(uint64_t offset);
    // Keeps every byte from the start until release(): the decoder is being
    // opened and may look back.
    void release();

    uint64_t downloaded() const;                // audio bytes received
    std::optional<uint64_t> totalSize() const;  // known when announced or complete
    // The size readers of the data go by: the announced one until every byte
    // has arrived (before the completion hook has run, unlike totalSize()).
    std::optional<uint64_t> dataSize() const;
    uint64_t bufferBytes() const;          // the network buffer's size
    void setBufferBitrate(uint32_t kbps);  // what the buffer's audio time is measured in
    bool complete() const;                 // every byte has arrived and the completion hook has run
    bool failed() const;
    bool keptWhole() const;  // every byte has arrived and is still kept
    bool finished() const;   // every byte has arrived, or the download failed

    // Sets what runs on the download thread once the whole body has arrived:
    // `prepare` before complete() turns true, `announce` after. False when
    // the body had arrived already: the caller then does what it needs itself.
    bool setOnComplete(std::function<void()> prepare, std::function<void()> announce);

    void abort();
    // Aborts and waits for the download thread to end (at once when called
    // on that thread, which then ends by itself).
    void stop();

  private:
    // The transfer's callbacks (download thread).
    size_t onHeader(const char* data, size_t size) override;
    size_t onBody(const char* data, size_t size) override;
    bool resumable() override;
    bool aborted() const override { return m_abort; }

    void run();
    void finish(bool ok, int error);
    bool roomAhead() const;  // caller holds m_mutex
    void trimLocked();

    const std::string m_url;
    const uint64_t m_offset;
    const NetConfig m_config;
    DOWNLOADPROC m_proc;
    void* m_user;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    HeadParser m_parser;
    ResponseHead m_head;
    bool m_headDone = false;
    bool m_arrived = false;    // every byte is in
    bool m_hookTaken = false;  // finish() has looked for the completion hook
    bool m_complete = false;   // m_arrived, and the completion hook has run
    bool m_failed = false;
    int m_error = BASS_OK;
    bool m_keepAll = true;
    bool m_pinned = true;
    std::vector<char> m_data;  // bytes from m_base on
    uint64_t m_base = 0;
    uint64_t m_reader = 0;
    uint64_t m_bufferBytes = 0;
    std::deque<std::pair<uint64_t, std::string>> m_meta;
    std::function<void()> m_prepare;
    std::function<void()> m_announce;
    std::optional<IcyDemuxer> m_demuxer;

    std::atomic<bool> m_abort{false};
    std::unique_ptr<Transfer> m_transfer;  // set before the thread starts
    std::thread m_thread;
};

}  // namespace qaudio::net
