// The ID3v2 memory decoder (network streams' tags).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/tags/FuzzCheck.h"
#include "mediainfo/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::TMP3TagInfo info;
    if (mediainfo::decodeID3v2(std::string_view(reinterpret_cast<const char*>(data), size), info)) {
        for (const std::string* s :
             {&info.title, &info.artist, &info.album, &info.year, &info.comment, &info.genre}) {
            requireUtf8(*s);
        }
    }
    return 0;
}
