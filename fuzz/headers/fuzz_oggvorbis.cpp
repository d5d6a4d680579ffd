// Feeds arbitrary bytes to the Ogg Vorbis reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mediainfo/OggVorbis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource src(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TOggVorbis a, b;
    const bool ra = a.ReadFromSource(src);
    // The same bytes through the edge cache that ReadFromFile uses must give
    // the same result.
    const bool rb = b.ReadFromSourceCached(src);
    if (ra != rb || a.valid() != b.valid() || a.samples() != b.samples() || a.bitRate() != b.bitRate() ||
        a.otherComments() != b.otherComments() || a.vendor() != b.vendor() || a.duration() != b.duration())
        std::abort();
    return 0;
}
