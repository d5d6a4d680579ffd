// The ID3v2 file reader over a memory source.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/tags/FuzzCheck.h"
#include "mediainfo/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TID3v2 tag;
    tag.ReadFromSource(source);
    for (const std::string* s :
         {&tag.title(), &tag.artist(), &tag.album(), &tag.trackText(), &tag.year(), &tag.genre(),
          &tag.comment(), &tag.composer(), &tag.encoder(), &tag.rightsNotice(), &tag.language(), &tag.link(),
          &tag.firstReleaseArtist(), &tag.lyrics(), &tag.sizeText()}) {
        requireUtf8(*s);
    }
    if (tag.size() < 0 || static_cast<uint64_t>(tag.size()) > size) std::abort();
    return 0;
}
