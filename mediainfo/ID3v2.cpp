#include "mediainfo/ID3v2.h"

namespace mediainfo {

void TID3v2::reset() { *this = TID3v2(); }

bool TID3v2::ReadFromFile(const std::string& fileName) {
    reset();
    FileSource source(fileName);
    if (!source.isOpen()) return false;
    return ReadFromSource(source);
}

bool TID3v2::ReadFromSource(ByteSource&) {
    reset();
    return true;  // not yet written
}

bool decodeID3v2(std::string_view, TMP3TagInfo&) { return false; }

}  // namespace mediainfo
