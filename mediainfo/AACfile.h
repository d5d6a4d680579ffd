// TAACfile: the technical data of a raw AAC stream, ADIF or ADTS, and its
// ID3v1, ID3v2 and APE tags. Only reads; the engine keeps one instance and
// reuses it for every file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mediainfo/APETag.h"
#include "mediainfo/ByteSource.h"
#include "mediainfo/ID3v1.h"
#include "mediainfo/ID3v2.h"
#include "mediainfo/MediaReader.h"

namespace mediainfo {

class TAACfile final : public TStreamHeaderReader {
  public:
    enum HeaderType : uint8_t { kHeaderUnknown = 0, kHeaderADIF = 1, kHeaderADTS = 2 };
    enum MPEGVersion : uint8_t { kVersionUnknown = 0, kMPEG2 = 1, kMPEG4 = 2 };
    enum Profile : uint8_t {
        kProfileUnknown = 0,
        kProfileMain = 1,
        kProfileLC = 2,
        kProfileSSR = 3,
        kProfileLTP = 4
    };
    enum BitRateType : uint8_t { kBitRateUnknown = 0, kCBR = 1, kVBR = 2 };

    // Files are read through a cache of their first and last few KiB: the
    // ID3v2 header and the first frames at the start; ID3v1, Lyrics3 and the
    // APE footer at the end.
    TAACfile() : TStreamHeaderReader(EdgeCache{4096, 4096}) {}

    // Back to the unread state, the tag readers too.
    void reset() override;

    // Resets, lets the three tag readers read the file, then reads the stream
    // header. False when a tag reader fails (a file too short for an APE
    // footer) or the file cannot be opened.
    bool ReadFromSource(ByteSource& src) override;

    // A known header type, channels, a sample rate and a bit rate.
    bool valid() const override;
    // The bit rate in kbit/s (bitRate() / 1000, cut).
    TAudioProperties audioProperties() const override;
    // The ID3v1 tag's fields when there is one, else the ID3v2 tag's.
    TTagFields tagFields() const override;
    // Seconds: the bytes after the ID3v2 tag at the bit rate; 0 without one.
    double duration() const;

    int64_t fileSize() const { return m_fileSize; }
    uint8_t headerTypeID() const { return m_headerTypeID; }
    uint8_t mpegVersionID() const { return m_mpegVersionID; }
    uint8_t profileID() const { return m_profileID; }
    uint8_t channels() const { return m_channels; }
    int32_t sampleRate() const { return m_sampleRate; }
    int32_t bitRate() const { return m_bitRate; }  // bit/s
    uint8_t bitRateTypeID() const { return m_bitRateTypeID; }
    int32_t frames() const { return m_frames; }  // ADTS frames examined

    std::string_view headerType() const;
    std::string_view mpegVersion() const;
    std::string_view profile() const;
    std::string_view bitRateType() const;

    const TID3v1& id3v1() const { return m_id3v1; }
    const TID3v2& id3v2() const { return m_id3v2; }
    const TAPETag& apeTag() const { return m_apeTag; }

  private:
    void readADIF(ByteSource& src, int64_t start);
    void readADTS(ByteSource& src, int64_t start);

    int64_t m_fileSize = 0;
    uint8_t m_headerTypeID = kHeaderUnknown;
    uint8_t m_mpegVersionID = kVersionUnknown;
    uint8_t m_profileID = kProfileUnknown;
    uint8_t m_channels = 0;
    int32_t m_sampleRate = 0;
    int32_t m_bitRate = 0;
    uint8_t m_bitRateTypeID = kBitRateUnknown;
    TID3v1 m_id3v1;
    TID3v2 m_id3v2;
    TAPETag m_apeTag;
    int32_t m_frames = 0;
};

}  // namespace mediainfo
