// Feeds arbitrary bytes to the WMA add-on's ASF decoder as a file.
#include <cstddef>
#include <cstdint>

#include "fuzz/audio-decoders/Exercise.h"
#include "platform/audio/wma/AsfDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Both with and without the exact-length scan, which take different paths.
    for (const uint32_t flags : {0u, 0x20000u}) {
        if (auto d = qwma::openAsfMemory(data, size, flags)) qaudio::fuzz::exercise(*d, data, size);
    }
    return 0;
}
