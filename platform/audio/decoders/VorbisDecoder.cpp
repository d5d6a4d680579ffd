#include "platform/audio/decoders/VorbisDecoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/audio/decoders/Codes.h"

namespace qaudio {

namespace {

size_t ovRead(void* out, size_t size, size_t count, void* source) {
    if (size == 0) {
        return 0;
    }
    return static_cast<InputFile*>(source)->read(out, size * count) / size;
}

int ovSeek(void* source, ogg_int64_t offset, int whence) {
    auto* in = static_cast<InputFile*>(source);
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<int64_t>(in->tell());
    } else if (whence == SEEK_END) {
        base = static_cast<int64_t>(in->size());
    } else if (whence != SEEK_SET) {
        return -1;
    }
    const int64_t target = base + offset;
    return target >= 0 && in->seek(static_cast<uint64_t>(target)) ? 0 : -1;
}

long ovTell(void* source) {
    return static_cast<long>(static_cast<InputFile*>(source)->tell());
}

// Owns an OggVorbis_File opened by ov_open_callbacks.
class VorbisFile {
  public:
    VorbisFile() = default;
    VorbisFile(const VorbisFile&) = delete;
    VorbisFile& operator=(const VorbisFile&) = delete;
    ~VorbisFile() {
        if (m_open) {
            ov_clear(&m_vf);
        }
    }
    bool open(InputFile* in) {
        // Without a seek function libvorbisfile reads the stream front to back.
        const ov_callbacks callbacks{ovRead, in->sequential() ? nullptr : ovSeek, nullptr, ovTell};
        m_open = ov_open_callbacks(in, &m_vf, nullptr, 0, callbacks) == 0;
        return m_open;
    }
    OggVorbis_File* get() { return &m_vf; }

  private:
    OggVorbis_File m_vf{};
    bool m_open = false;
};

class VorbisDecoder final : public Decoder {
  public:
    explicit VorbisDecoder(std::unique_ptr<InputFile> in) : m_in(std::move(in)) {}

    bool init() {
        const bool sequential = m_in->sequential();
        if (m_in->peek(0, 4) != "OggS" || !m_file.open(m_in.get()) ||
            (!sequential && !ov_seekable(m_file.get()))) {
            return false;
        }
        OggVorbis_File* vf = m_file.get();
        const vorbis_info* info = ov_info(vf, 0);
        if (info == nullptr || info->channels < 1 || info->channels > kMaxVorbisChannels || info->rate <= 0) {
            return false;
        }
        m_rate = static_cast<uint32_t>(info->rate);
        m_channels = static_cast<uint32_t>(info->channels);
        if (sequential) {
            // Links arrive one after another; reading stops at the first of
            // another format (see read()).
            m_length.reset();
            m_end = UINT64_MAX;
            m_playableLinks = LONG_MAX;
            buildTags();
            return true;
        }
        // Links that keep the format play on; the stream ends at the first
        // that does not.
        uint64_t length = 0;
        const long links = ov_streams(vf);
        for (long i = 0; i < links && sameFormat(i); ++i) {
            const ogg_int64_t n = ov_pcm_total(vf, static_cast<int>(i));
            if (n < 0) {
                return false;
            }
            length += static_cast<uint64_t>(n);
            m_playableLinks = i + 1;
        }
        m_length = length;
        m_end = length;
        buildTags();
        return true;
    }

    uint32_t sampleRate() const override { return m_rate; }
    uint32_t channels() const override { return m_channels; }
    uint32_t channelType() const override { return codes::kCtypeOggVorbis; }
    std::optional<uint64_t> lengthFrames() const override { return m_length; }

    uint64_t read(float* out, uint64_t frames) override {
        uint64_t done = 0;
        int holes = 0;
        while (done < frames && m_pos < m_end) {
            float** pcm = nullptr;
            int link = 0;
            const int want = static_cast<int>(std::min<uint64_t>({frames - done, m_end - m_pos, INT_MAX}));
            const long got = ov_read_float(m_file.get(), &pcm, want, &link);
            if (got == OV_HOLE && ++holes < kMaxHoles) {
                continue;  // a gap in the data; decoding resumes after it
            }
            if (got <= 0 || link >= m_playableLinks || (m_length == std::nullopt && !sameFormat(-1))) {
                m_end = m_pos;  // the end, or damage that ends the stream
                break;
            }
            const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(got), frames - done);
            for (uint64_t i = 0; i < n; ++i) {
                for (uint32_t c = 0; c < m_channels; ++c) {
                    out[(done + i) * m_channels + c] = pcm[c][i];
                }
            }
            done += n;
            m_pos += n;
        }
        return done;
    }

    bool seek(uint64_t frame) override {
        if (!m_length || frame > *m_length) {
            return false;
        }
        if (ov_pcm_seek(m_file.get(), static_cast<ogg_int64_t>(frame)) != 0) {
            ov_pcm_seek(m_file.get(), static_cast<ogg_int64_t>(m_pos));
            return false;
        }
        m_pos = frame;
        m_end = *m_length;
        return true;
    }

    std::optional<std::string_view> tags(uint32_t type) const override {
        if (type == codes::kTagOgg && !m_comments.empty()) {
            return std::string_view(m_comments);
        }
        if (type == codes::kTagVendor && m_hasVendor) {
            return std::string_view(m_vendor.c_str(), m_vendor.size() + 1);
        }
        return std::nullopt;
    }

    uint64_t fileBytePosition() const override {
        const ogg_int64_t at = ov_raw_tell(m_file.get());
        return at > 0 ? static_cast<uint64_t>(at) : 0;
    }
    uint64_t fileSize() const override { return m_in->size(); }

  private:
    // Consecutive holes (lost pages) tolerated before the stream ends.
    static constexpr int kMaxHoles = 64;

    bool sameFormat(long link) {
        const vorbis_info* info = ov_info(m_file.get(), static_cast<int>(link));
        return info != nullptr && info->rate == static_cast<long>(m_rate) &&
               info->channels == static_cast<int>(m_channels);
    }

    void buildTags() {
        const vorbis_comment* vc = ov_comment(m_file.get(), 0);
        if (vc == nullptr) {
            return;
        }
        if (vc->vendor != nullptr) {
            m_vendor = vc->vendor;
            m_hasVendor = true;
        }
        for (int i = 0; i < vc->comments; ++i) {
            if (vc->user_comments[i] == nullptr || vc->comment_lengths[i] <= 0) {
                continue;
            }
            // A NUL inside a comment would end it early in the series.
            const std::string_view c(vc->user_comments[i], static_cast<size_t>(vc->comment_lengths[i]));
            m_comments.append(c.substr(0, c.find('\0')));
            m_comments.push_back('\0');
        }
        if (!m_comments.empty()) {
            m_comments.push_back('\0');
        }
    }

    // m_file reads through m_in, so it is declared after it (destroyed first).
    std::unique_ptr<InputFile> m_in;
    mutable VorbisFile m_file;  // ov_raw_tell() takes a non-const file
    uint32_t m_rate = 0;
    uint32_t m_channels = 0;
    std::optional<uint64_t> m_length;  // unknown for a sequential input
    uint64_t m_end = 0;                // where reading stops: the length, or earlier after damage
    long m_playableLinks = 0;
    uint64_t m_pos = 0;
    std::string m_comments;
    std::string m_vendor;  // up to its first NUL, as one string
    bool m_hasVendor = false;
};

}  // namespace

std::unique_ptr<Decoder> VorbisDecoderFactory::openInput(std::unique_ptr<InputFile> in, uint32_t) const {
    if (!in) {
        return nullptr;
    }
    auto decoder = std::make_unique<VorbisDecoder>(std::move(in));
    if (!decoder->init()) {
        return nullptr;
    }
    return decoder;
}

}  // namespace qaudio
