#include "mediainfo/ID3v1.h"

#include "mediainfo/Genres.h"

namespace mediainfo {

void TID3v1::reset() { *this = TID3v1(); }

bool TID3v1::ReadFromFile(const std::string& fileName) {
    reset();
    return read(fileName, true);
}

bool TID3v1::ReadFromSource(ByteSource& source) {
    reset();
    return read(source, true);
}

bool TID3v1::read(const std::string& fileName, bool details) {
    FileSource source(fileName);
    if (!source.isOpen()) return false;
    return read(source, details);
}

bool TID3v1::read(ByteSource&, bool) { return true; }  // not yet written

std::string_view TID3v1::genreName() const { return mediainfo::genreName(m_genreID); }

int32_t TID3v1::lyrics3TotalSize() const { return m_lyrics3Size > 0 ? m_lyrics3Size + kLyrics3FooterSize : 0; }

int32_t TID3v1::totalSize() const { return lyrics3TotalSize() + (m_exists ? kTagSize : 0); }

void TID3v1::setTitle(std::string_view) {}
void TID3v1::setArtist(std::string_view) {}
void TID3v1::setAlbum(std::string_view) {}
void TID3v1::setComment(std::string_view) {}
void TID3v1::setYear(std::string_view) {}

bool decodeID3v1(std::string_view, TMP3TagInfo&) { return false; }

}  // namespace mediainfo
