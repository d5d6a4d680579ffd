// Feeds arbitrary bytes to the mpeg decoder as a file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/audio-decoders/Exercise.h"
#include "platform/audio/decoders/MpegDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Both with and without the exact-length scan, which take different paths.
    for (const uint32_t flags : {0u, 0x20000u}) {
        if (auto d = qaudio::MpegDecoderFactory().openInput(qaudio::InputFile::fromMemory(bytes), flags)) {
            qaudio::fuzz::exercise(*d, data, size);
        }
    }
    return 0;
}
