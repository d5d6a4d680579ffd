// Feeds arbitrary bytes to the MPEG audio reader (and through it the tag
// readers).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mediainfo/MPEGaudio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource src(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TMPEGaudio m;
    m.ReadFromSource(src);
    volatile bool v = m.valid();
    volatile int32_t f = m.frameCount();
    volatile size_t t =
        m.versionText().size() + m.layerText().size() + m.channelModeText().size() + m.emphasisText().size();
    (void)v;
    (void)f;
    (void)t;
    return 0;
}
