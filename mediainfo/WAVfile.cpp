#include "mediainfo/WAVfile.h"

#include "mediainfo/HeaderBytes.h"

namespace mediainfo {

namespace {

// The canonical header: RIFF chunk header, "WAVE", a 16-byte "fmt " chunk and
// the "data" chunk header. The duration assumes the samples start here.
constexpr size_t kCanonicalHeader = 44;
// Format tag 0xFFFE stores the real format in a sub-format GUID at byte 44
// (after cbSize, valid bits and the channel mask); its first two bytes are the
// format tag, the other fourteen the fixed KSDATAFORMAT suffix.
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatAdpcm = 2;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr size_t kSubFormatOffset = 44;
constexpr std::string_view kSubFormatSuffix("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);

}  // namespace

bool TWAVfile::ReadFromSource(ByteSource& src) {
    using namespace bytes;
    reset();
    // 60 bytes cover the extensible header's sub-format; 44 must be there.
    const std::string h = src.readString(0, kSubFormatOffset + 16);
    if (h.size() < kCanonicalHeader) return false;
    if (!matches(h, 0, "RIFF") || !matches(h, 8, "WAVE") || !matches(h, 12, "fmt ")) return true;

    const uint16_t tag = le16(h, 20);
    bool pcm = tag == kFormatPcm || tag == kFormatAdpcm;
    if (tag == kFormatExtensible) {
        // sox and ffmpeg write every 24-bit and multichannel file this way.
        pcm = le32(h, 16) >= 40 && le16(h, kSubFormatOffset) == kFormatPcm &&
              matches(h, kSubFormatOffset + 2, kSubFormatSuffix);
    }
    if (!pcm) return true;

    m_valid = true;
    m_channels = at(h, 22);
    m_sampleRate = le32(h, 24);
    m_bitsPerSample = at(h, 34);
    // A writer that could not seek back (a pipe) leaves a placeholder such as
    // 0xFFFFFFFF; a truncated file claims more than it holds. Either way the
    // bytes that are really there are what can be played.
    const int64_t claimed = static_cast<int64_t>(le32(h, 4)) + 8;
    const int64_t real = static_cast<int64_t>(src.size());
    m_fileSize = claimed > real ? real : claimed;
    return true;
}

TAudioProperties TWAVfile::audioProperties() const {
    TAudioProperties p;
    p.fileSize = byteCount(m_fileSize);
    p.sampleRate = m_sampleRate;
    p.channels = m_channels;
    // 64-bit: a damaged header may state any sample rate.
    p.bitRate =
        clampToU32(static_cast<int64_t>(uint64_t{m_sampleRate} * m_bitsPerSample * m_channels / 1000));
    p.duration = millisecondsOf(duration());
    return p;
}

double TWAVfile::duration() const {
    if (!m_valid || m_sampleRate == 0 || m_bitsPerSample == 0 || m_channels == 0) return 0.0;
    const int64_t data = m_fileSize - static_cast<int64_t>(kCanonicalHeader);
    if (data <= 0) return 0.0;
    return static_cast<double>(data) * 8.0 / m_sampleRate / m_bitsPerSample / m_channels;
}

}  // namespace mediainfo
