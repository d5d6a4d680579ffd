// A read-through window over a ByteSource for readers that walk a file in
// many small steps (ADTS frames, Vorbis comments, ASF objects): one read of
// the source serves many small requests. Missing bytes (beyond the source's
// end) are simply not returned, as with ByteSource::readAt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mediainfo/ByteSource.h"

namespace mediainfo {

class SourceWindow {
public:
    // `window` bytes are fetched at a time (more when one request is larger).
    explicit SourceWindow(ByteSource& src, size_t window = 16 * 1024) : m_src(src), m_window(window) {}

    // Up to `count` bytes from `offset`; fewer at the end of the source. The
    // view stays valid until the next call.
    std::string_view get(uint64_t offset, size_t count);

private:
    ByteSource& m_src;
    size_t m_window;
    std::string m_buffer;
    uint64_t m_start = 0;
};

}  // namespace mediainfo
