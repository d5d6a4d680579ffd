// TOggVorbis: the technical data and the Vorbis comments of an Ogg Vorbis
// file. Reads the first two pages (identification and comment headers) and
// looks for the last page near the end of the file for the sample count.
// Only reads; the engine keeps one instance and reuses it for every file.
#pragma once

#include <cstdint>
#include <string>

#include "mediainfo/MediaReader.h"

namespace mediainfo {

class TOggVorbis final : public TStreamHeaderReader {
  public:
    // Files are read through a cache of their first and last few KiB: the
    // first two pages at the start; the first block of the last-page search
    // (5001 bytes) at the end.
    TOggVorbis() : TStreamHeaderReader(EdgeCache{4096, 8192}) {}

    // Resets, then reads. False when the file cannot be read or does not
    // start (after an optional ID3v2 tag) with an Ogg page holding a Vorbis
    // identification header; the object is then in its reset state.
    bool ReadFromSource(ByteSource& src) override;
    void reset() override { *this = TOggVorbis(); }

    // Channels 1, 2 or 6, a sample rate, more than 0.1 s and a bit rate.
    bool valid() const override;
    TAudioProperties audioProperties() const override;
    // The DATE comment is the year.
    TTagFields tagFields() const override;
    // Seconds: samples / sample rate, else estimated from the nominal bit rate.
    double duration() const;
    // kbit/s over the whole file (less a leading ID3v2 tag).
    uint16_t bitRate() const;

    int64_t fileSize() const { return m_fileSize; }
    uint8_t channels() const { return m_channels; }
    int32_t sampleRate() const { return m_sampleRate; }
    uint16_t nominalBitRate() const { return m_nominalBitRate; }  // kbit/s
    int32_t samples() const { return m_samples; }                 // low 32 bits of the last granule position
    int64_t id3v2Size() const { return m_id3v2Size; }
    uint8_t streamVersion() const { return m_streamVersion; }
    int32_t serialNumber() const { return m_serialNumber; }

    // Comment fields, UTF-8.
    const std::string& title() const { return m_title; }
    const std::string& artist() const { return m_artist; }  // ARTIST, else PERFORMER
    const std::string& album() const { return m_album; }
    uint8_t track() const { return m_track; }
    const std::string& date() const { return m_date; }
    const std::string& genre() const { return m_genre; }
    const std::string& comment() const { return m_comment; }  // COMMENT, else DESCRIPTION
    const std::string& composer() const { return m_composer; }
    const std::string& lyrics() const { return m_lyrics; }
    const std::string& link() const { return m_link; }
    const std::string& rightsNotice() const { return m_rightsNotice; }
    const std::string& vendor() const { return m_vendor; }
    // Every comment with a name outside the known ones, as NAME=value entries
    // separated by a zero character.
    const std::string& otherComments() const { return m_otherComments; }

  private:
    int64_t m_fileSize = 0;
    uint8_t m_channels = 0;
    int32_t m_sampleRate = 0;
    uint16_t m_nominalBitRate = 0;
    int32_t m_samples = 0;
    int64_t m_id3v2Size = 0;
    std::string m_title, m_artist, m_album;
    uint8_t m_track = 0;
    std::string m_date, m_genre, m_comment, m_composer, m_lyrics, m_link, m_rightsNotice, m_vendor;
    uint8_t m_streamVersion = 0;
    int32_t m_serialNumber = 0;
    std::string m_otherComments;
};

}  // namespace mediainfo
