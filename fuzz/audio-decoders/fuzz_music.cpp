// Feeds arbitrary bytes to the tracker-module decoder as a file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/audio-decoders/Exercise.h"
#include "platform/audio/decoders/MusicDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto d = qaudio::openMusicInput(qaudio::InputFile::fromMemory(bytes), 0x400)) {
        qaudio::fuzz::exercise(*d, data, size);
    }
    return 0;
}
