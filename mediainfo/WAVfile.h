// TWAVfile: the technical data of a RIFF/WAVE file, from its first header
// bytes. Only reads; the engine keeps one instance and reuses it per file.
#pragma once

#include <cstdint>
#include <string>

#include "mediainfo/MediaReader.h"

namespace mediainfo {

class TWAVfile final : public TStreamHeaderReader {
  public:
    // Resets, then reads the header. False when the file cannot be opened or
    // holds fewer than 44 bytes; true otherwise, valid or not.
    bool ReadFromSource(ByteSource& src) override;
    void reset() override { *this = TWAVfile(); }

    // A PCM (or MS-ADPCM) RIFF/WAVE header: format tag 1 or 2, or a
    // WAVE_FORMAT_EXTENSIBLE header whose sub-format is PCM.
    bool valid() const override { return m_valid; }
    // The bit rate is the PCM rate: sample rate x bits x channels / 1000.
    TAudioProperties audioProperties() const override;
    uint8_t channels() const { return m_channels; }
    uint32_t sampleRate() const { return m_sampleRate; }
    uint8_t bitsPerSample() const { return m_bitsPerSample; }
    // The RIFF chunk size + 8, or the real file size when the header claims
    // more than the file holds.
    int64_t fileSize() const { return m_fileSize; }
    // Seconds: the bytes after the 44-byte canonical header at the header's
    // rate. 0 when not valid or when rate, bit depth or channel count is 0.
    double duration() const;

  private:
    bool m_valid = false;
    uint8_t m_channels = 0;
    uint32_t m_sampleRate = 0;
    uint8_t m_bitsPerSample = 0;
    int64_t m_fileSize = 0;
};

}  // namespace mediainfo
