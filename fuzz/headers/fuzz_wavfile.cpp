// Feeds arbitrary bytes to the WAV header reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mediainfo/WAVfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource src(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TWAVfile w;
    w.ReadFromSource(src);
    volatile double d = w.duration();
    (void)d;
    return 0;
}
