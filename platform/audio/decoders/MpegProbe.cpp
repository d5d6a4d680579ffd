#include "platform/audio/decoders/MpegProbe.h"

#include <algorithm>
#include <string>

namespace qaudio {

namespace {

// Bit rates in kbit/s by [table][index]; index 0 (free format) and 15 (bad)
// are rejected before the lookup.
constexpr uint16_t kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2/2.5 layers II, III
};
constexpr uint32_t kSampleRates[3] = {44100, 48000, 32000};  // MPEG-1; halved for 2, quartered for 2.5

// ID3v2 tags stacked at the start that are skipped; more means a damaged or
// hostile file.
constexpr int kMaxLeadingTags = 4;

// Size of an ID3v2 tag (ID3v2.4 structure §3.1: 10-byte header, synchsafe
// size, optional 10-byte footer) starting at `h`, or 0 when `h` is none.
uint64_t id3v2TagSize(const std::string& h) {
    if (h.size() < 10 || h.compare(0, 3, "ID3") != 0) {
        return 0;
    }
    const auto u = [&](size_t i) { return static_cast<uint8_t>(h[i]); };
    if (u(3) == 0xFF || u(4) == 0xFF || ((u(6) | u(7) | u(8) | u(9)) & 0x80) != 0) {
        return 0;
    }
    const uint64_t body = (uint64_t{u(6)} << 21) | (uint64_t{u(7)} << 14) | (uint64_t{u(8)} << 7) | u(9);
    return 10 + body + ((u(5) & 0x10) != 0 ? 10 : 0);
}

bool sameStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

}  // namespace

std::optional<MpegFrameHeader> parseMpegFrameHeader(const uint8_t* b) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (b[1] >> 3) & 3;
    const int layerBits = (b[1] >> 1) & 3;
    const int bitrateIndex = b[2] >> 4;
    const int rateIndex = (b[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (b[3] & 3) == 2) {
        return std::nullopt;
    }
    MpegFrameHeader h;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.layer = 4 - layerBits;
    const int table = h.version == 1 ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
    h.bitrate = kBitrates[table][bitrateIndex] * 1000u;
    h.sampleRate = kSampleRates[rateIndex] >> (h.version == 1 ? 0 : h.version == 2 ? 1 : 2);
    h.channels = (b[3] >> 6) == 3 ? 1 : 2;
    const uint32_t padding = (b[2] >> 1) & 1;
    if (h.layer == 1) {
        h.length = (12 * h.bitrate / h.sampleRate + padding) * 4;
    } else if (h.layer == 3 && h.version != 1) {
        h.length = 72 * h.bitrate / h.sampleRate + padding;
    } else {
        h.length = 144 * h.bitrate / h.sampleRate + padding;
    }
    return h;
}

std::optional<MpegLayout> probeMpeg(InputFile& in) {
    MpegLayout layout;
    const uint64_t size = in.size();
    layout.audioEnd = size;
    if (!in.sequential() && size >= 128 && in.peek(size - 128, 3) == "TAG") {
        layout.hasId3v1 = true;
        layout.audioEnd = size - 128;
    }
    uint64_t start = 0;
    for (int i = 0; i < kMaxLeadingTags; ++i) {
        const uint64_t tag = id3v2TagSize(in.peek(start, 10));
        if (tag == 0) {
            break;
        }
        start += tag;
        if (i == 0) {
            layout.id3v2Size = tag;
        }
    }
    if (start >= layout.audioEnd) {
        return std::nullopt;
    }
    // Enough bytes for the search window plus a run of the largest frames
    // (MPEG-2 layer II at 160 kbit/s and 16 kHz: 1441 bytes).
    constexpr size_t kMaxFrame = 2048;
    const std::string buf = in.peek(start, kMpegSearchBytes + kMpegRunFrames * kMaxFrame);
    const uint64_t avail = std::min<uint64_t>(buf.size(), layout.audioEnd - start);
    const auto* bytes = reinterpret_cast<const uint8_t*>(buf.data());
    for (uint64_t pos = 0; pos + 4 <= avail && pos <= kMpegSearchBytes; ++pos) {
        const auto first = parseMpegFrameHeader(bytes + pos);
        if (!first) {
            continue;
        }
        uint64_t next = pos + first->length;
        int run = 1;
        while (run < kMpegRunFrames && next + 4 <= avail) {
            const auto h = parseMpegFrameHeader(bytes + next);
            if (!h || !sameStream(*first, *h)) {
                break;
            }
            next += h->length;
            ++run;
        }
        // A run of at least two frames that reaches exactly the end of the audio
        // is a whole (short) file.
        const bool wholeFile = next == layout.audioEnd - start && avail == layout.audioEnd - start;
        if (run >= kMpegRunFrames || (wholeFile && run >= 2)) {
            layout.firstFrame = start + pos;
            layout.first = *first;
            return layout;
        }
    }
    return std::nullopt;
}

}  // namespace qaudio
