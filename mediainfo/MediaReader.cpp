#include "mediainfo/MediaReader.h"

#include <cmath>
#include <limits>

#include "mediainfo/SourceWindow.h"

namespace mediainfo {

uint32_t millisecondsOf(double seconds) {
    const double ms = seconds * 1000.0;
    if (!(ms > 0.0)) return 0;  // also NaN
    if (ms >= 4294967295.0) return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(std::llround(ms));
}

uint32_t clampToU32(int64_t value) {
    if (value <= 0) return 0;
    return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                        : static_cast<uint32_t>(value);
}

bool TMediaReader::ReadFromFile(const std::string& fileName) {
    reset();
    return withFile(fileName, [this](ByteSource& file) { return ReadFromSourceCached(file); });
}

bool TMediaReader::ReadFromSourceCached(ByteSource& file) {
    if (m_cache.head == 0 && m_cache.tail == 0) return ReadFromSource(file);
    EdgeCachedSource cached(file, m_cache.head, m_cache.tail);
    return ReadFromSource(cached);
}

}  // namespace mediainfo
