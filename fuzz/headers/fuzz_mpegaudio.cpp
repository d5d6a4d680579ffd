// Feeds arbitrary bytes to the MPEG audio reader (and through it the tag
// readers).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mediainfo/MPEGaudio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource src(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TMPEGaudio a, b;
    const bool ra = a.ReadFromSource(src);
    // The same bytes through the edge cache that ReadFromFile uses must give
    // the same result.
    const bool rb = b.ReadFromSourceCached(src);
    if (ra != rb || a.valid() != b.valid() || a.frameCount() != b.frameCount() ||
        a.bitRate() != b.bitRate() || a.audioStart() != b.audioStart() || a.vendorID() != b.vendorID() ||
        a.duration() != b.duration())
        std::abort();
    return 0;
}
