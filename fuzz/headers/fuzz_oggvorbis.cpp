// Feeds arbitrary bytes to the Ogg Vorbis reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mediainfo/OggVorbis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource src(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TOggVorbis o;
    o.ReadFromSource(src);
    volatile bool v = o.valid();
    volatile uint16_t b = o.bitRate();
    (void)v;
    (void)b;
    return 0;
}
