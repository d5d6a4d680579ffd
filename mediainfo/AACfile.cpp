#include "mediainfo/AACfile.h"

#include <algorithm>
#include <cmath>

#include "mediainfo/HeaderBytes.h"
#include "mediainfo/ID3Tags.h"
#include "mediainfo/SourceWindow.h"

namespace mediainfo {

namespace {

// Sampling frequencies by sampling_frequency_index (ISO/IEC 14496-3 §1.6.3.4).
constexpr int32_t kSampleRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                      16000, 12000, 11025, 8000,  0,     0,     0,     0};

constexpr std::string_view kHeaderTypes[] = {"Unknown", "ADIF", "ADTS"};
constexpr std::string_view kVersions[] = {"Unknown", "MPEG-2", "MPEG-4"};
constexpr std::string_view kProfiles[] = {"Unknown", "Main", "LC", "SSR", "LTP"};
constexpr std::string_view kBitRateTypes[] = {"Unknown", "CBR", "VBR"};

// The fixed part of an ADTS header (ISO/IEC 13818-7 §6.2): a frame shorter
// than this cannot be a frame.
constexpr uint32_t kAdtsHeader = 7;
// Bytes of a frame start needed to decode the header fields read below (the
// buffer fullness ends at bit 54; bits are taken from 32-bit words).
constexpr size_t kAdtsPeek = 10;
// The ADIF header fields read below end before bit 192.
constexpr size_t kAdifPeek = 28;
// ADTS buffer fullness 0x7FF marks a variable-bit-rate stream.
constexpr uint32_t kVbrFullness = 0x7FF;

// n bits (n <= 24) at bit position p, the most significant bit of each byte
// first; bits beyond the buffer read as zero.
uint32_t bits(std::string_view b, size_t p, unsigned n) {
    return (bytes::be32(b, p / 8) << (p % 8)) >> (32 - n);
}

}  // namespace

void TAACfile::reset() {
    m_fileSize = 0;
    m_headerTypeID = kHeaderUnknown;
    m_mpegVersionID = kVersionUnknown;
    m_profileID = kProfileUnknown;
    m_channels = 0;
    m_sampleRate = 0;
    m_bitRate = 0;
    m_bitRateTypeID = kBitRateUnknown;
    m_id3v1.reset();
    m_id3v2.reset();
    m_apeTag.reset();
    m_frames = 0;
}

bool TAACfile::ReadFromSource(ByteSource& src) {
    reset();
    if (!m_id3v2.ReadFromSource(src) || !m_id3v1.ReadFromSource(src) || !m_apeTag.ReadFromSource(src)) {
        reset();
        return false;
    }
    m_fileSize = static_cast<int64_t>(src.size());
    const int64_t start = m_id3v2.size();
    const std::string head = src.readString(static_cast<uint64_t>(start), 4);
    if (bytes::matches(head, 0, "ADIF")) {
        m_headerTypeID = kHeaderADIF;
        readADIF(src, start);
    } else if (bytes::at(head, 0) == 0xFF && (bytes::at(head, 1) & 0xF0) == 0xF0) {
        m_headerTypeID = kHeaderADTS;
        readADTS(src, start);
    }
    return true;
}

void TAACfile::readADIF(ByteSource& src, int64_t start) {
    // ISO/IEC 13818-7 adif_header(): after the 32-bit "ADIF" an optional
    // 72-bit copyright ID, then bitstream_type, bitrate and, after the buffer
    // fields, the first program_config_element.
    const std::string h = src.readString(static_cast<uint64_t>(start), kAdifPeek);
    size_t p = bits(h, 32, 1) ? 107 : 35;
    m_bitRateTypeID = bits(h, p, 1) ? kVBR : kCBR;
    m_bitRate = static_cast<int32_t>(bits(h, p + 1, 23));
    p += m_bitRateTypeID == kCBR ? 52 : 32;
    m_mpegVersionID = kMPEG4;
    m_profileID = static_cast<uint8_t>(bits(h, p, 2) + 1);
    m_sampleRate = kSampleRates[bits(h, p + 2, 4)];
    m_channels = static_cast<uint8_t>(bits(h, p + 6, 4) + bits(h, p + 10, 4) + bits(h, p + 14, 4) +
                                      bits(h, p + 18, 2));
}

void TAACfile::readADTS(ByteSource& src, int64_t start) {
    SourceWindow in(src, 4096, 64 * 1024);
    int64_t offset = 0;
    int64_t frames = 0;
    int64_t total = 0;
    do {
        const std::string_view h = in.get(static_cast<uint64_t>(start + offset), kAdtsPeek);
        if (bits(h, 0, 12) != 0xFFF) break;
        // The 13-bit frame length stands at bit 30 in MPEG-2 and MPEG-4
        // streams alike (ISO/IEC 13818-7 adts_variable_header()).
        const uint32_t length = bits(h, 30, 13);
        if (length < kAdtsHeader) break;  // also ends the walk on a length of 0
        ++frames;
        m_mpegVersionID = bits(h, 12, 1) ? kMPEG2 : kMPEG4;
        m_profileID = static_cast<uint8_t>(bits(h, 16, 2) + 1);
        m_sampleRate = kSampleRates[bits(h, 18, 4)];
        m_channels = static_cast<uint8_t>(bits(h, 23, 3));
        m_bitRateTypeID = bits(h, 43, 11) == kVbrFullness ? kVBR : kCBR;
        total += length;
        offset += length;
        // A constant-bit-rate stream is described by its first frame.
    } while (m_bitRateTypeID == kVBR && start + offset < m_fileSize);
    m_frames = static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX));
    if (frames > 0)
        m_bitRate = static_cast<int32_t>(std::lround(
            m_sampleRate * (static_cast<double>(total) * 8.0 / 1024.0 / static_cast<double>(frames))));
}

bool TAACfile::valid() const {
    return m_headerTypeID != kHeaderUnknown && m_channels != 0 && m_sampleRate > 0 && m_bitRate > 0;
}

TAudioProperties TAACfile::audioProperties() const {
    TAudioProperties p;
    p.fileSize = byteCount(m_fileSize);
    p.sampleRate = clampToU32(m_sampleRate);
    p.bitRate = clampToU32(m_bitRate / 1000);
    p.duration = millisecondsOf(duration());
    p.channels = m_channels;
    return p;
}

TTagFields TAACfile::tagFields() const {
    return preferredID3Fields(m_id3v1, m_id3v2);
}

double TAACfile::duration() const {
    if (m_bitRate <= 0) return 0.0;
    return static_cast<double>(m_fileSize - m_id3v2.size()) * 8.0 / m_bitRate;
}

std::string_view TAACfile::headerType() const {
    return kHeaderTypes[std::min<uint8_t>(m_headerTypeID, 2)];
}
std::string_view TAACfile::mpegVersion() const {
    return kVersions[std::min<uint8_t>(m_mpegVersionID, 2)];
}
std::string_view TAACfile::profile() const {
    return kProfiles[std::min<uint8_t>(m_profileID, 4)];
}
std::string_view TAACfile::bitRateType() const {
    return kBitRateTypes[std::min<uint8_t>(m_bitRateTypeID, 2)];
}

}  // namespace mediainfo
