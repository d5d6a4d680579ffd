// Read helpers for the stream-header readers, layered over a ByteSource.
//
// SourceWindow: a read-through window for readers that walk a file in many
// small steps (ADTS frames, Vorbis comments, ASF objects): one read of the
// source serves many small requests.
//
// EdgeCachedSource: keeps the first and the last few KiB of a file, where the
// tags and the headers are, so the several small reads of a reader and its
// tag readers at either end cost one read each.
//
// Missing bytes (beyond the source's end) are simply not returned, as with
// ByteSource::readAt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mediainfo/ByteSource.h"

namespace mediainfo {

class SourceWindow {
  public:
    // The first fetch reads `first` bytes; each later one twice the last, up
    // to `most` (always at least the request).
    SourceWindow(ByteSource& src, size_t first, size_t most) : m_src(src), m_window(first), m_most(most) {}

    // Up to `count` bytes from `offset`; fewer at the end of the source. The
    // view stays valid until the next call.
    std::string_view get(uint64_t offset, size_t count);

  private:
    ByteSource& m_src;
    size_t m_window;
    size_t m_most;
    std::string m_buffer;
    uint64_t m_start = 0;
};

class EdgeCachedSource final : public ByteSource {
  public:
    // Keeps up to `head` bytes from the start and `tail` bytes before the end,
    // each read on first use. The inner source must outlive this one.
    EdgeCachedSource(ByteSource& inner, size_t head, size_t tail);
    uint64_t size() const override { return m_size; }
    // Served from a cached edge when the request lies wholly inside it, else
    // read from the inner source.
    size_t readAt(uint64_t offset, void* out, size_t count) override;

  private:
    struct Edge {
        uint64_t start = 0;
        size_t length = 0;
        bool loaded = false;
        std::string bytes;
    };
    bool serve(Edge& edge, uint64_t offset, void* out, size_t count);

    ByteSource& m_inner;
    uint64_t m_size;
    Edge m_head, m_tail;
};

}  // namespace mediainfo
