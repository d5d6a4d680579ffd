#include "platform/audio/decoders/SndfileDecoder.h"

#include <sndfile.h>

#include "platform/audio/decoders/Codes.h"

namespace qaudio {

namespace {

sf_count_t vioLength(void* source) {
    return static_cast<sf_count_t>(static_cast<InputFile*>(source)->size());
}

sf_count_t vioSeek(sf_count_t offset, int whence, void* source) {
    auto* in = static_cast<InputFile*>(source);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<sf_count_t>(in->tell());
    } else if (whence == SEEK_END) {
        base = static_cast<sf_count_t>(in->size());
    } else if (whence != SEEK_SET) {
        return -1;
    }
    const sf_count_t target = base + offset;
    if (target < 0 || !in->seek(static_cast<uint64_t>(target))) {
        return -1;
    }
    return target;
}

sf_count_t vioRead(void* out, sf_count_t count, void* source) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<sf_count_t>(static_cast<InputFile*>(source)->read(out, static_cast<size_t>(count)));
}

sf_count_t vioWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t vioTell(void* source) {
    return static_cast<sf_count_t>(static_cast<InputFile*>(source)->tell());
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

uint32_t channelTypeOf(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    const int sub = format & SF_FORMAT_SUBMASK;
    switch (major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
        if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {
            return codes::kCtypeWavFloat;
        }
        if (sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_24 ||
            sub == SF_FORMAT_PCM_32) {
            return codes::kCtypeWavPcm;
        }
        return codes::kCtypeWavOther;
    case SF_FORMAT_AIFF:
        return codes::kCtypeAiff;
    case SF_FORMAT_FLAC:
        return codes::kCtypeFlac;
    case SF_FORMAT_OGG:
        return sub == SF_FORMAT_OPUS     ? codes::kCtypeOpus
               : sub == SF_FORMAT_VORBIS ? codes::kCtypeOggVorbis
               : sub == SF_FORMAT_FLAC   ? codes::kCtypeOggFlac
                                         : codes::kCtypeSndfileOther;
    default:
        return codes::kCtypeSndfileOther;
    }
}

// libsndfile skips ID3v2 tags at the start before it looks at a file's type;
// more than this many in a row is no audio file we hand it.
constexpr int kMaxLeadingTags = 16;
constexpr size_t kOggPageHeader = 27;  // up to the segment count (the Ogg framing)

// Whether libsndfile may read the input. Ogg data goes to it only when its first
// packet is Opus or FLAC: Ogg Vorbis has its own decoder, and libsndfile's Vorbis
// reader leaks its decoder state whenever it gives up on a damaged stream.
bool forSndfile(InputFile& in) {
    uint64_t at = 0;
    for (int tags = 0; in.peek(at, 3) == "ID3"; ++tags) {
        const std::string h = in.peek(at, 10);
        if (tags == kMaxLeadingTags || h.size() < 10) {
            return false;
        }
        uint64_t size = 0;
        for (size_t i = 6; i < 10; ++i) {
            size = (size << 7) | (static_cast<unsigned char>(h[i]) & 0x7F);
        }
        at += 10 + size;
    }
    if (in.peek(at, 4) != "OggS") {
        return true;
    }
    const std::string page = in.peek(at, kOggPageHeader);
    if (page.size() < kOggPageHeader) {
        return false;
    }
    const std::string packet = in.peek(at + kOggPageHeader + static_cast<unsigned char>(page[26]), 8);
    return packet == "OpusHead" || packet.compare(0, 5, "\x7F" "FLAC") == 0;
}

class SndfileDecoder final : public Decoder {
public:
    explicit SndfileDecoder(std::unique_ptr<InputFile> in) : m_in(std::move(in)) {}

    bool init() {
        if (m_in->size() == 0 || !forSndfile(*m_in)) {
            return false;
        }
        SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
        SF_INFO info{};
        m_file.reset(sf_open_virtual(&io, SFM_READ, &info, m_in.get()));
        if (!m_file || (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG || info.channels < 1 ||
            info.channels > kMaxSndfileChannels || info.samplerate < 1 || info.samplerate > kMaxSndfileRate ||
            info.frames < 0 || !info.seekable) {
            return false;
        }
        m_rate = static_cast<uint32_t>(info.samplerate);
        m_channels = static_cast<uint32_t>(info.channels);
        m_length = static_cast<uint64_t>(info.frames);
        m_ctype = channelTypeOf(info.format);
        return true;
    }

    uint32_t sampleRate() const override { return m_rate; }
    uint32_t channels() const override { return m_channels; }
    uint32_t channelType() const override { return m_ctype; }
    std::optional<uint64_t> lengthFrames() const override { return m_length; }

    uint64_t read(float* out, uint64_t frames) override {
        uint64_t done = 0;
        while (done < frames && m_pos < m_length) {
            const sf_count_t want = static_cast<sf_count_t>(std::min(frames - done, m_length - m_pos));
            const sf_count_t got = sf_readf_float(m_file.get(), out + done * m_channels, want);
            if (got <= 0) {
                break;
            }
            done += static_cast<uint64_t>(got);
            m_pos += static_cast<uint64_t>(got);
        }
        return done;
    }

    bool seek(uint64_t frame) override {
        if (frame > m_length) {
            return false;
        }
        if (sf_seek(m_file.get(), static_cast<sf_count_t>(frame), SEEK_SET) != static_cast<sf_count_t>(frame)) {
            sf_seek(m_file.get(), static_cast<sf_count_t>(m_pos), SEEK_SET);
            return false;
        }
        m_pos = frame;
        return true;
    }

    std::optional<std::string_view> tags(uint32_t) const override { return std::nullopt; }

    uint64_t fileBytePosition() const override { return m_in->tell(); }
    uint64_t fileSize() const override { return m_in->size(); }

private:
    // m_file reads through m_in, so it is declared after it (destroyed first).
    std::unique_ptr<InputFile> m_in;
    SndfilePtr m_file;
    uint32_t m_rate = 0;
    uint32_t m_channels = 0;
    uint32_t m_ctype = 0;
    uint64_t m_length = 0;
    uint64_t m_pos = 0;
};

}  // namespace

std::unique_ptr<Decoder> SndfileDecoderFactory::openInput(std::unique_ptr<InputFile> in, uint32_t) const {
    if (!in) {
        return nullptr;
    }
    auto decoder = std::make_unique<SndfileDecoder>(std::move(in));
    if (!decoder->init()) {
        return nullptr;
    }
    return decoder;
}

}  // namespace qaudio
