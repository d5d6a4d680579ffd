// TMPEGaudio: where the audio of an MPEG audio file (MPEG 1, 2 and 2.5,
// layers I to III) starts, its first frame header, its Xing or VBRI
// variable-bit-rate header, the encoder that wrote it, and from these its bit
// rate and length. Owns the file's ID3v1, ID3v2 and APE tag readers.
//
// Reading looks at the file in 3458-byte blocks from the end of the ID3v2 tag
// until two consecutive frame headers are found, and once more near the end
// of the file for an encoder signature. Only reads; the engine keeps one
// instance and reuses it for every file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "mediainfo/APETag.h"
#include "mediainfo/ByteSource.h"
#include "mediainfo/ID3v1.h"
#include "mediainfo/ID3v2.h"
#include "mediainfo/MediaReader.h"

namespace mediainfo {

class TMPEGaudio final : public TStreamHeaderReader {
  public:
    // Bytes read per step of the frame and encoder searches; frames are looked
    // for at the first half of the positions of a block.
    static constexpr size_t kBlockSize = 3458;
    static constexpr size_t kSearchPositions = kBlockSize / 2 + 1;

    // The variable-bit-rate header found in the first frame.
    struct VBRData {
        bool found = false;
        std::string id;  // "Xing" or "VBRI"
        int32_t frames = 0;
        int32_t bytes = 0;
        uint8_t scale = 0;
        std::string vendorID;  // Xing only: the 8 bytes after the quality value
    };

    // The first frame's four header bytes, decoded.
    struct FrameData {
        bool found = false;
        int32_t position = 0;  // file offset
        uint16_t size = 0;     // frame length in bytes
        bool empty = false;    // the six bytes after the header are all zero
        std::array<uint8_t, 4> header{};
        uint8_t versionID = 1;    // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
        uint8_t layerID = 0;      // 0 reserved, 1 layer III, 2 layer II, 3 layer I
        bool protection = false;  // a CRC follows the header
        uint16_t bitRateID = 0;
        uint16_t sampleRateID = 3;
        bool padding = false;
        bool privateBit = false;
        uint8_t modeID = 4;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono, 4 unknown
        uint8_t modeExtensionID = 4;
        bool copyright = false;  // marked as protected by its owner's rights
        bool original = false;   // a first-generation recording, not a copy
        uint8_t emphasisID = 2;
    };

    // Files are read through a cache of their first and last few KiB: the
    // ID3v2 header and the first block at the start; the ID3v1 tag, the
    // Lyrics3 footer and the encoder block (3586 bytes before the end) at the
    // end.
    TMPEGaudio() : TStreamHeaderReader(EdgeCache{4096, 4096}) {}

    // Back to the unread state (the tag readers too): numbers zero, strings
    // empty, the version, mode and emphasis "unknown".
    void reset() override;

    // Resets, then reads. False only when the file cannot be opened or read;
    // true otherwise, even when no frame was found (valid() then fails and the
    // object and its tags are reset).
    bool ReadFromSource(ByteSource& src) override;

    // A frame was found, the bit rate is 8 to 448 kbit/s and the duration is
    // at least 0.1 s.
    bool valid() const override;
    // One channel for a mono frame, two for every other mode, none without a
    // frame.
    TAudioProperties audioProperties() const override;
    // The ID3v1 tag's fields when there is one, else the ID3v2 tag's.
    TTagFields tagFields() const override;
    // kbit/s: from the VBR header when it states frames, else the table value.
    uint16_t bitRate() const;
    uint16_t sampleRate() const;  // Hz
    double duration() const;      // seconds
    int32_t frameCount() const;

    std::string_view versionText() const;
    std::string_view layerText() const;
    std::string_view channelModeText() const;
    std::string_view emphasisText() const;

    int64_t fileLength() const { return m_fileLength; }
    // "LAME" and the four characters after it, or "GOGO"; empty when none.
    const std::string& vendorID() const { return m_vendorID; }
    const VBRData& vbr() const { return m_vbr; }
    const FrameData& frame() const { return m_frame; }
    int64_t audioStart() const { return m_audioStart; }
    // The file length less the trailing ID3v1 tag and Lyrics3 block.
    int64_t audioEnd() const { return m_audioEnd; }

    const TID3v1& id3v1() const { return m_id3v1; }
    const TID3v2& id3v2() const { return m_id3v2; }
    // Reset with the object but not read by it.
    const TAPETag& apeTag() const { return m_apeTag; }
    TAPETag& apeTag() { return m_apeTag; }

  private:
    using Block = std::array<uint8_t, kBlockSize>;
    void searchFrame(const Block& block);
    void readVBR(const Block& block, size_t frameAt);
    void searchEncoder(const Block& block, size_t searchLength);
    bool readBlock(ByteSource& src, int64_t offset, Block& block);

    int64_t m_fileLength = 0;
    std::string m_vendorID;
    VBRData m_vbr;
    FrameData m_frame;
    int64_t m_audioStart = 0;
    int64_t m_audioEnd = 0;
    TID3v1 m_id3v1;
    TID3v2 m_id3v2;
    TAPETag m_apeTag;
};

}  // namespace mediainfo
