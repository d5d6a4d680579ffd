// TWMAfile: the technical data and the text fields of a Windows Media audio
// file, from the objects of its ASF header. Only reads; the engine keeps one
// instance and reuses it for every file.
#pragma once

#include <cstdint>
#include <string>

#include "mediainfo/MediaReader.h"

namespace mediainfo {

class TWMAfile final : public TStreamHeaderReader {
  public:
    // Resets, then reads. False only when the file cannot be opened; whether
    // the header is usable is told by valid().
    bool ReadFromSource(ByteSource& src) override;
    void reset() override { *this = TWMAfile(); }

    // The header holds plausible audio data: a maximum bit rate in (0, 320000),
    // 1 to 6 channels, 8000 to 96000 Hz and 1 to 39999 average bytes per second.
    bool valid() const override { return m_valid; }
    TAudioProperties audioProperties() const override;
    TTagFields tagFields() const override;
    int64_t fileSize() const { return m_fileSize; }
    int32_t channels() const { return m_channels; }
    int32_t sampleRate() const { return m_sampleRate; }
    // Seconds, estimated from the file size at the stream's maximum bit rate.
    double duration() const { return m_duration; }
    int32_t bitRate() const { return m_bitRate; }  // kbit/s, from the average bytes per second

    // Text fields, UTF-8, trimmed.
    const std::string& title() const { return m_title; }
    const std::string& artist() const { return m_artist; }
    const std::string& album() const { return m_album; }
    int32_t track() const { return m_track; }
    const std::string& year() const { return m_year; }
    const std::string& genre() const { return m_genre; }
    const std::string& comment() const { return m_comment; }

  private:
    bool m_valid = false;
    int64_t m_fileSize = 0;
    int32_t m_channels = 0;
    int32_t m_sampleRate = 0;
    double m_duration = 0.0;
    int32_t m_bitRate = 0;
    std::string m_title, m_artist, m_album;
    int32_t m_track = 0;
    std::string m_year, m_genre, m_comment;
};

}  // namespace mediainfo
