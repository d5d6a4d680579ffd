// TID3v1: the 128-byte ID3v1 tag at the end of a file (ID3v1.0 and 1.1) and
// the Lyrics3 version 2 block that may stand just before it (or at the very
// end of the file when there is no ID3v1 tag).
//
// Fields are GBK or UTF-8 bytes in the file; they are converted to UTF-8 once
// when read (qtext::toUtf8), so every string here is UTF-8. Reading only ever
// reads; the file is never written. Any input, however damaged, gives a
// consistent object: unknown or broken parts count as absent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mediainfo/MP3TagInfo.h"
#include "mediainfo/MediaReader.h"

namespace mediainfo {

class TID3v1 final : public TMediaReader {
  public:
    // Genre byte meaning "no genre".
    static constexpr uint8_t kNoGenre = 255;
    // Size of an ID3v1 tag and of a Lyrics3 v2 footer.
    static constexpr int32_t kTagSize = 128;
    static constexpr int32_t kLyrics3FooterSize = 15;

    TID3v1() = default;

    // Back to the empty state: no tag, version 1, empty strings, track 0,
    // genre 255, no Lyrics3 block.
    void reset() override;

    // Reset, then read the tag and the Lyrics3 block with all their fields.
    // False only when the file cannot be opened or read.
    bool ReadFromSource(ByteSource& source) override;
    // Title, artist, album and comment in their long forms when present, the
    // genre as its table name, the track and the genre number.
    TTagFields tagFields() const override;

    // The reading without the reset. With `details` off only exists(),
    // lyrics3Present() and lyrics3Size() are filled.
    bool read(const std::string& fileName, bool details);
    bool read(ByteSource& source, bool details);

    bool exists() const { return m_exists; }
    uint8_t version() const { return m_version; }  // 1 = ID3v1.0, 2 = ID3v1.1

    // The Lyrics3 long form when it is not empty, else the ID3v1 field.
    const std::string& title() const { return m_longTitle.empty() ? m_title : m_longTitle; }
    const std::string& artist() const { return m_longArtist.empty() ? m_artist : m_longArtist; }
    const std::string& album() const { return m_longAlbum.empty() ? m_album : m_longAlbum; }
    const std::string& comment() const { return m_longComment.empty() ? m_comment : m_longComment; }
    const std::string& year() const { return m_year; }
    uint8_t track() const { return m_track; }
    uint8_t genreID() const { return m_genreID; }
    // The genre table's name for genreID(), empty for an ID without one.
    std::string_view genreName() const;

    // Store a value without its trailing spaces and control characters; a
    // value of 31 characters or more is also kept as the long form, a shorter
    // one clears the long form.
    void setTitle(std::string_view value);
    void setArtist(std::string_view value);
    void setAlbum(std::string_view value);
    void setComment(std::string_view value);
    // Trailing spaces removed, at most 4 characters kept.
    void setYear(std::string_view value);
    void setTrack(uint8_t track) { m_track = track; }
    void setGenreID(uint8_t id) { m_genreID = id; }

    // Lyrics3 version 2.
    bool lyrics3Present() const { return m_lyrics3Present; }
    // The size stated in the block's footer (the block without its footer).
    int32_t lyrics3Size() const { return m_lyrics3Size; }
    // Bytes the block takes in the file: lyrics3Size() + 15, or 0.
    int32_t lyrics3TotalSize() const;
    // Bytes of tags at the end of the file: the Lyrics3 block plus 128 when
    // an ID3v1 tag exists.
    int32_t totalSize() const;
    const std::string& longTitle() const { return m_longTitle; }      // ETT
    const std::string& longArtist() const { return m_longArtist; }    // EAR
    const std::string& longAlbum() const { return m_longAlbum; }      // EAL
    const std::string& longComment() const { return m_longComment; }  // INF
    const std::string& image() const { return m_image; }              // IMG, untrimmed
    const std::string& author() const { return m_author; }            // AUT
    const std::string& lyrics() const { return m_lyrics; }            // LYR, CR LF line ends

  private:
    void readTag(const std::string& tag);
    void readLyrics3(ByteSource& source, bool details);
    void readLyrics3Fields(const std::string& block);
    static void setLong(std::string& shortForm, std::string& longForm, std::string_view value);

    bool m_exists = false;
    uint8_t m_version = 1;
    std::string m_title, m_artist, m_album, m_year, m_comment;
    uint8_t m_track = 0;
    uint8_t m_genreID = kNoGenre;
    bool m_lyrics3Present = false;
    int32_t m_lyrics3Size = 0;
    std::string m_longArtist, m_longAlbum, m_longTitle, m_longComment;
    std::string m_image, m_author, m_lyrics;
};

// Decodes a 128-byte ID3v1 tag held in memory (a network stream's tag) into
// `info`: title, artist, album, year, comment and track as the file reader
// reads them (track 0 for ID3v1.0), the genre as its table name or "Unknown"
// for a genre byte above 147. False, with `info` untouched, unless the buffer
// holds at least 128 bytes starting with "TAG"; bytes after the first 128 are
// ignored.
bool decodeID3v1(std::string_view buffer, TMP3TagInfo& info);

}  // namespace mediainfo
