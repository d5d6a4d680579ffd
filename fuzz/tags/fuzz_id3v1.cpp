// The ID3v1 file reader (with Lyrics3) over a memory source, and the ID3v1
// memory decoder on the last 128 bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/tags/FuzzCheck.h"
#include "mediainfo/ID3v1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    mediainfo::MemorySource source(bytes);
    mediainfo::TID3v1 tag;
    tag.ReadFromSource(source);
    for (const std::string* s : {&tag.title(), &tag.artist(), &tag.album(), &tag.year(), &tag.comment(),
                                 &tag.author(), &tag.lyrics(), &tag.image()}) {
        requireUtf8(*s);
    }
    if (tag.totalSize() < 0 || static_cast<uint64_t>(tag.totalSize()) > size) std::abort();
    mediainfo::TMP3TagInfo info;
    if (size >= 128 && mediainfo::decodeID3v1(bytes.substr(size - 128), info)) {
        for (const std::string* s :
             {&info.title, &info.artist, &info.album, &info.year, &info.comment, &info.genre}) {
            requireUtf8(*s);
        }
    }
    return 0;
}
