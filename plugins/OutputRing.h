// The output ring: the byte ring through which decoded audio travels from the
// feeder thread (the writer) to the fed stream's read callback (the reader).
//
// Positions, size and flags are atomics, read by any thread. The bytes themselves
// are touched only by the side that holds the ring: the reader, the writer, or the
// user-interface thread when it empties the ring. Holding is a real mutual exclusion:
// one atomic word carries the three busy flags and a side takes it only by
// compare-and-swap from "nobody", so two copies never overlap. A side holds the ring
// only for a copy (never while it waits for the source or for the other side).
//
// The buffer is replaced (allocate, fitToBlock, release) only while neither reader
// nor writer runs: before the fed stream is created or after it and the feeder ended.
//
// To clang's thread-safety analysis the ring is a capability: acquire takes it,
// releaseSide lets it go, and the copies require it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/threads/ThreadSafety.h"

class QUILLET_CAPABILITY("ring") TOutputRing {
  public:
    static constexpr uint32_t kInitialSize = 88200;

    // The busy flags; each side sets only its own.
    enum Side : uint8_t { kReader = 1, kWriter = 2, kReset = 4 };
    // How a waiting side passes the time between attempts.
    enum class Wait {
        Sleep,            // worker threads: a plain sleep
        ProcessMessages,  // the user-interface thread: handle its messages, then sleep
    };
    // A side that finds the ring held waits this many steps at most (3 s).
    static constexpr unsigned kBusyWaits = 150;
    static constexpr std::chrono::milliseconds kBusyWaitStep{20};
    static constexpr unsigned kUnbounded = 0;

    TOutputRing() = default;
    TOutputRing(const TOutputRing&) = delete;
    TOutputRing& operator=(const TOutputRing&) = delete;

    // A new zeroed buffer of `size` bytes, positions 0. False (the old buffer kept)
    // when the allocation fails.
    bool allocate(uint32_t size);
    void release();  // frees the buffer; size 0

    // The 200-millisecond block of a format: (bits / 8 * rate * channels * 2) / 10.
    static uint64_t blockFor(uint32_t rate, uint32_t channels, uint32_t bits);
    // Reallocates to 3 x block when the size is below 2 x block or above 4 x block,
    // raised to minSize; otherwise keeps the buffer. False when the allocation fails.
    bool fitToBlock(uint64_t block, uint32_t minSize);

    uint32_t size() const { return m_size.load(); }
    // Bytes written and not yet read, and bytes that may be written. An empty ring has
    // size() bytes free; writers leave more than one block free, so a full ring never
    // looks empty.
    uint32_t usedSpace() const;
    uint32_t freeSpace() const;

    // Takes the ring for `side` when nobody holds it. Between attempts the caller
    // yields a few times and then waits in steps of kBusyWaitStep, at most maxWaits
    // steps (kUnbounded: until it gets the ring). False when it gave up.
    bool acquire(Side side, Wait wait, unsigned maxWaits) QUILLET_TRY_ACQUIRE(true);
    void releaseSide(Side side) QUILLET_RELEASE();
    bool busy(Side side) const { return (m_busy.load() & side) != 0; }

    // Holder only. write: n must be below freeSpace(); the bytes are copied at the
    // write position, wrapping at the end. read: copies min(n, usedSpace()) bytes
    // from the read position and returns the count.
    void write(const uint8_t* data, uint32_t n) QUILLET_REQUIRES(this);
    uint32_t read(uint8_t* out, uint32_t n) QUILLET_REQUIRES(this);
    // Holder only: positions 0.
    void clear() QUILLET_REQUIRES(this);

    // Flags shared between the threads of the fed output.
    std::atomic<bool> prebuffering{false};
    std::atomic<bool> inputEnded{false};
    std::atomic<bool> closing{false};
    std::atomic<bool> padBlocks{false};
    // Counts the resets: a block read from the source under an older generation is
    // stale and never stored.
    std::atomic<uint64_t> generation{0};

  private:
    std::unique_ptr<uint8_t[]> m_buffer;
    std::atomic<uint32_t> m_size{0};
    std::atomic<uint32_t> m_read{0};
    std::atomic<uint32_t> m_write{0};
    std::atomic<uint8_t> m_busy{0};
};
