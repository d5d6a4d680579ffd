// TID3v2: the ID3v2 tag at the start of a file (major versions 2, 3 and 4).
//
// Eighteen frames are understood and mapped onto sixteen text fields; all
// other frames are skipped. Every string is UTF-8: frames with encoding 0 are
// decoded by qtext::toUtf8 (UTF-8 kept, else GBK, else Latin-1), encoding 1
// is UTF-16 with a byte-order mark (either order), 2 UTF-16BE, 3 UTF-8.
// Reading only ever reads, and every length taken from the tag is bounded by
// the tag, the file and a per-frame cap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mediainfo/MP3TagInfo.h"
#include "mediainfo/MediaReader.h"

namespace mediainfo {

class TID3v2 final : public TMediaReader {
  public:
    // At most this many bytes of a frame are read; larger frames (pictures)
    // are skipped over. No text field the program shows comes near it.
    static constexpr uint32_t kMaxFrameData = 5000;

    TID3v2() = default;

    // Back to the empty state: no tag, version 0, size 0, track 0, empty
    // strings.
    void reset() override;

    // Reset, then read the tag. True when the first 10 bytes could be read,
    // whether or not a tag was there; false (and reset) otherwise.
    bool ReadFromSource(ByteSource& source) override;
    // Title, artist, album, year, genre, comment and the track number.
    TTagFields tagFields() const override;

    bool exists() const { return m_exists; }       // the file starts with "ID3"
    uint8_t version() const { return m_version; }  // the major version (2, 3, 4 ...)
    // Total tag size in bytes: header, frames and padding, plus the footer
    // when the tag has one; 0 when it would reach beyond the end of the file.
    int32_t size() const { return m_size; }

    const std::string& title() const { return m_title; }
    const std::string& artist() const { return m_artist; }
    const std::string& album() const { return m_album; }
    int16_t track() const { return m_track; }  // the number before "/" of TRCK
    const std::string& trackText() const { return m_trackText; }
    const std::string& year() const { return m_year; }
    const std::string& genre() const { return m_genre; }
    const std::string& comment() const { return m_comment; }
    const std::string& composer() const { return m_composer; }
    const std::string& encoder() const { return m_encoder; }            // TENC
    const std::string& rightsNotice() const { return m_rightsNotice; }  // TCOP
    const std::string& language() const { return m_language; }
    const std::string& link() const { return m_link; }                              // WXXX URL
    const std::string& firstReleaseArtist() const { return m_firstReleaseArtist; }  // TOPE
    const std::string& lyrics() const { return m_lyrics; }                          // USLT
    const std::string& sizeText() const { return m_sizeText; }                      // TSIZ

  private:
    bool m_exists = false;
    uint8_t m_version = 0;
    int32_t m_size = 0;
    std::string m_title, m_artist, m_album;
    int16_t m_track = 0;
    std::string m_trackText, m_year, m_genre, m_comment, m_composer, m_encoder;
    std::string m_rightsNotice, m_language, m_link, m_firstReleaseArtist, m_lyrics, m_sizeText;
};

// Decodes an ID3v2 tag held in memory (a network stream's tag) into `info`:
// title, artist, album, year, genre, track and comment. False unless the
// buffer starts with "ID3"; true with `info` untouched when the version is not
// 2, 3 or 4 or the tag is empty.
bool decodeID3v2(std::string_view buffer, TMP3TagInfo& info);

}  // namespace mediainfo
