#include "mediainfo/MPEGaudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mediainfo/ID3Tags.h"
#include "platform/text/Text.h"

namespace mediainfo {

namespace {

// Version IDs: 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1. Layer IDs: 1 layer III,
// 2 layer II, 3 layer I, 0 reserved.
constexpr uint8_t kVersionReserved = 1, kVersion1 = 3;
constexpr uint8_t kLayerReserved = 0, kLayer2 = 2, kLayer1 = 3;
constexpr uint8_t kModeMono = 3;

// Bit rates in kbit/s by bit-rate index (ISO/IEC 11172-3 §2.4.2.3 and
// ISO/IEC 13818-3 §2.4.2.3); MPEG 2.5 uses the MPEG 2 rates.
constexpr uint16_t kBitRates[2][3][16] = {
    {
        // MPEG 1: layer I, II, III
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    },
    {
        // MPEG 2 and 2.5: layer I, II, III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    },
};

// Sample rates in Hz by version ID and sample-rate index.
constexpr uint16_t kSampleRates[4][4] = {
    {11025, 12000, 8000, 0},   // MPEG 2.5
    {0, 0, 0, 0},              // reserved
    {22050, 24000, 16000, 0},  // MPEG 2
    {44100, 48000, 32000, 0},  // MPEG 1
};

constexpr std::string_view kVersionTexts[] = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
constexpr std::string_view kLayerTexts[] = {"Layer ?", "Layer III", "Layer II", "Layer I"};
constexpr std::string_view kModeTexts[] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"};
constexpr std::string_view kEmphasisTexts[] = {"None", "50/15 ms", "Unknown", "CCIT J.17"};

bool isFrameHeader(const uint8_t* b) {
    return b[0] == 0xFF && b[1] >= 0xE0 && ((b[1] >> 3) & 3) != kVersionReserved &&
           ((b[1] >> 1) & 3) != kLayerReserved && b[2] >= 0x10 && b[2] < 0xF0 && ((b[2] >> 2) & 3) != 3 &&
           (b[3] & 3) != 2;
}

void decodeHeader(const uint8_t* b, TMPEGaudio::FrameData& f) {
    std::memcpy(f.header.data(), b, 4);
    f.versionID = (b[1] >> 3) & 3;
    f.layerID = (b[1] >> 1) & 3;
    f.protection = (b[1] & 1) == 0;
    f.bitRateID = b[2] >> 4;
    f.sampleRateID = (b[2] >> 2) & 3;
    f.padding = (b[2] & 2) != 0;
    f.privateBit = (b[2] & 1) != 0;
    f.modeID = b[3] >> 6;
    f.modeExtensionID = (b[3] >> 4) & 3;
    f.copyright = (b[3] & 8) != 0;
    f.original = (b[3] & 4) != 0;
    f.emphasisID = b[3] & 3;
}

uint16_t tableBitRate(const TMPEGaudio::FrameData& f) {
    if (f.versionID == kVersionReserved || f.layerID == kLayerReserved || f.bitRateID > 15) return 0;
    return kBitRates[f.versionID == kVersion1 ? 0 : 1][3 - f.layerID][f.bitRateID];
}

uint16_t tableSampleRate(const TMPEGaudio::FrameData& f) {
    return f.versionID < 4 && f.sampleRateID < 4 ? kSampleRates[f.versionID][f.sampleRateID] : 0;
}

// Bytes per frame per (bit rate / sample rate); times 8 the samples per frame.
// Layer I frames hold 384 samples in every version (ISO/IEC 13818-3 keeps the
// layer I frame of ISO/IEC 11172-3), so their coefficient is 48 throughout.
int coefficient(const TMPEGaudio::FrameData& f) {
    if (f.layerID == kLayer1) return 48;
    if (f.versionID == kVersion1 || f.layerID == kLayer2) return 144;
    return 72;
}

int paddingSize(const TMPEGaudio::FrameData& f) {
    if (!f.padding) return 0;
    return f.layerID == kLayer1 ? 4 : 1;
}

uint16_t frameLength(const TMPEGaudio::FrameData& f) {
    const uint32_t rate = tableSampleRate(f);
    if (rate == 0) return 0;
    uint32_t length = 0;
    if (f.layerID == kLayer1) {
        // Layer I frames are counted in 4-byte slots (ISO/IEC 11172-3
        // §2.4.3.1): 12 * bit rate / sample rate slots, cut before scaling.
        length = 12 * tableBitRate(f) * 1000u / rate * 4;
    } else {
        length = static_cast<uint32_t>(coefficient(f)) * tableBitRate(f) * 1000 / rate;
    }
    return static_cast<uint16_t>(length + static_cast<uint32_t>(paddingSize(f)));
}

uint32_t be32(const uint8_t* b) {
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | b[3];
}

}  // namespace

void TMPEGaudio::reset() {
    m_fileLength = 0;
    m_vendorID.clear();
    m_vbr = VBRData();
    m_frame = FrameData();
    m_audioStart = 0;
    m_audioEnd = 0;
    m_id3v1.reset();
    m_id3v2.reset();
    m_apeTag.reset();
}

bool TMPEGaudio::readBlock(ByteSource& src, int64_t offset, Block& block) {
    // Bytes the file does not hold (before its start, after its end) read as
    // zero, so both searches always scan a whole block.
    block.fill(0);
    const int64_t from = std::max<int64_t>(offset, 0);
    const size_t skip = static_cast<size_t>(from - offset);
    if (skip >= kBlockSize) return false;
    const size_t got = src.readAt(static_cast<uint64_t>(from), block.data() + skip, kBlockSize - skip);
    return skip == 0 && got == kBlockSize;
}

bool TMPEGaudio::ReadFromSource(ByteSource& src) {
    reset();
    if (!m_id3v2.ReadFromSource(src) || !m_id3v1.ReadFromSource(src)) {
        reset();
        return true;
    }
    m_fileLength = static_cast<int64_t>(src.size());

    Block block;
    int64_t offset = m_id3v2.size();
    bool full = readBlock(src, offset, block);
    searchFrame(block);
    searchEncoder(block, 5 * size_t{m_frame.size});
    while (!m_frame.found && full) {
        offset += kBlockSize;
        full = readBlock(src, offset, block);
        searchFrame(block);
    }
    if (!m_frame.found) {
        reset();
        return true;
    }
    m_audioStart = offset + m_frame.position;
    m_frame.position = static_cast<int32_t>(m_audioStart);
    m_audioEnd = m_fileLength - m_id3v1.totalSize();
    if (m_vendorID.empty()) {
        const int64_t tail = m_fileLength - (m_id3v1.exists() ? 3586 : static_cast<int64_t>(kBlockSize));
        readBlock(src, tail, block);
        searchEncoder(block, 5 * size_t{m_frame.size});
    }
    return true;
}

void TMPEGaudio::searchFrame(const Block& block) {
    m_frame = FrameData();
    for (size_t p = 0; p < kSearchPositions; ++p) {
        if (!isFrameHeader(&block[p])) continue;
        FrameData f;
        decodeHeader(&block[p], f);
        const size_t length = frameLength(f);
        // The next header must lie entirely within the block.
        if (p + length + 4 > kBlockSize || !isFrameHeader(&block[p + length])) continue;
        f.found = true;
        f.position = static_cast<int32_t>(p);
        f.size = static_cast<uint16_t>(length);
        f.empty = std::all_of(&block[p + 4], &block[p + 10], [](uint8_t b) { return b == 0; });
        m_frame = f;
        readVBR(block, p);
        return;
    }
}

void TMPEGaudio::readVBR(const Block& block, size_t frameAt) {
    // The VBR header follows the side information, whose size depends on the
    // version and the channel mode (ISO/IEC 11172-3 §2.4.1.7).
    const bool mono = m_frame.modeID == kModeMono;
    const size_t at = frameAt + (m_frame.versionID == kVersion1 ? (mono ? 21 : 36) : (mono ? 13 : 21));
    m_vbr = VBRData();
    // frameAt is at most kSearchPositions - 1, so every field read below lies
    // within the block (at most frameAt + 36 + 128).
    const uint8_t* v = &block[at];
    if (std::memcmp(v, "Xing", 4) == 0) {
        m_vbr.found = true;
        m_vbr.id = "Xing";
        m_vbr.frames = static_cast<int32_t>(be32(v + 8));
        m_vbr.bytes = static_cast<int32_t>(be32(v + 12));
        m_vbr.scale = v[119];
        m_vbr.vendorID = qtext::toUtf8(std::string_view(reinterpret_cast<const char*>(v + 120), 8));
    } else if (std::memcmp(v, "VBRI", 4) == 0) {
        m_vbr.found = true;
        m_vbr.id = "VBRI";
        m_vbr.scale = v[9];
        m_vbr.bytes = static_cast<int32_t>(be32(v + 10));
        m_vbr.frames = static_cast<int32_t>(be32(v + 14));
    }
}

void TMPEGaudio::searchEncoder(const Block& block, size_t searchLength) {
    constexpr size_t kLast = kBlockSize - 8;  // the last window with four bytes after it
    const size_t lowest = kLast - std::min(searchLength, kLast);
    for (size_t w = kLast + 1; w-- > lowest;) {
        const uint8_t* b = &block[w];
        if (std::memcmp(b, "LAME", 4) == 0) {
            m_vendorID = qtext::toUtf8(std::string_view(reinterpret_cast<const char*>(b), 8));
            return;
        }
        if (std::memcmp(b, "GOGO", 4) == 0) {
            m_vendorID = "GOGO";
            return;
        }
    }
}

uint16_t TMPEGaudio::sampleRate() const {
    return tableSampleRate(m_frame);
}

uint16_t TMPEGaudio::bitRate() const {
    if (m_vbr.found && m_vbr.frames > 0) {
        const double perFrame = static_cast<double>(m_vbr.bytes) / m_vbr.frames - paddingSize(m_frame);
        const double rate = std::round(perFrame * sampleRate() / coefficient(m_frame) / 1000.0);
        return static_cast<uint16_t>(std::clamp(rate, 0.0, 65535.0));
    }
    return tableBitRate(m_frame);
}

double TMPEGaudio::duration() const {
    if (!m_frame.found || sampleRate() == 0) return 0.0;
    if (m_vbr.found && m_vbr.frames > 0)
        return static_cast<double>(coefficient(m_frame)) * m_vbr.frames * 8.0 / sampleRate();
    const uint16_t rate = tableBitRate(m_frame);
    if (rate == 0) return 0.0;
    return static_cast<double>(m_audioEnd - m_audioStart) / rate / 1000.0 * 8.0;
}

int32_t TMPEGaudio::frameCount() const {
    if (m_vbr.found) return m_vbr.frames;
    if (m_frame.size == 0) return 0;
    return static_cast<int32_t>((m_audioEnd - m_audioStart) / m_frame.size);
}

TAudioProperties TMPEGaudio::audioProperties() const {
    TAudioProperties p;
    p.fileSize = byteCount(m_fileLength);
    p.sampleRate = sampleRate();
    p.bitRate = bitRate();
    p.duration = millisecondsOf(duration());
    if (m_frame.found) p.channels = channelModeText() == "Mono" ? 1 : 2;
    return p;
}

TTagFields TMPEGaudio::tagFields() const {
    return preferredID3Fields(m_id3v1, m_id3v2);
}

bool TMPEGaudio::valid() const {
    const uint16_t rate = bitRate();
    return m_frame.found && rate >= 8 && rate <= 448 && duration() >= 0.1;
}

std::string_view TMPEGaudio::versionText() const {
    return kVersionTexts[m_frame.versionID & 3];
}
std::string_view TMPEGaudio::layerText() const {
    return kLayerTexts[m_frame.layerID & 3];
}
std::string_view TMPEGaudio::channelModeText() const {
    return kModeTexts[std::min<uint8_t>(m_frame.modeID, 4)];
}
std::string_view TMPEGaudio::emphasisText() const {
    return kEmphasisTexts[m_frame.emphasisID & 3];
}

}  // namespace mediainfo
