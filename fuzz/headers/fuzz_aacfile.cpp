// Feeds arbitrary bytes to the AAC reader (and through it the tag readers).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mediainfo/AACfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource src(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TAACfile a;
    a.ReadFromSource(src);
    volatile bool v = a.valid();
    volatile double d = a.duration();
    volatile size_t t =
        a.headerType().size() + a.profile().size() + a.mpegVersion().size() + a.bitRateType().size();
    (void)v;
    (void)d;
    (void)t;
    return 0;
}
