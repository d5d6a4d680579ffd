#include "platform/audio/decoders/MpegDecoder.h"

#include <mpg123.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/decoders/Codes.h"
#include "platform/audio/decoders/MpegProbe.h"

namespace qaudio {

namespace {

struct Mpg123Deleter {
    void operator()(mpg123_handle* h) const { mpg123_delete(h); }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

// The part of the file libmpg123 sees: from the first audio frame to the end
// of the audio (ID3v2 before and ID3v1 after are ours).
struct Window {
    InputFile* in = nullptr;
    uint64_t begin = 0;
    uint64_t end = 0;
};

mpg123_ssize_t windowRead(void* handle, void* out, size_t count) {
    auto* w = static_cast<Window*>(handle);
    const uint64_t pos = w->in->tell();
    if (pos >= w->end) {
        return 0;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, w->end - pos));
    return static_cast<mpg123_ssize_t>(w->in->read(out, n));
}

off_t windowSeek(void* handle, off_t offset, int whence) {
    auto* w = static_cast<Window*>(handle);
    const int64_t length = static_cast<int64_t>(w->end - w->begin);
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<int64_t>(w->in->tell() - w->begin);
    } else if (whence == SEEK_END) {
        if (w->in->sequential()) {
            return -1;  // the end of a download is not there yet
        }
        base = length;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > length || !w->in->seek(w->begin + static_cast<uint64_t>(target))) {
        return -1;
    }
    return static_cast<off_t>(target);
}

class MpegDecoder final : public Decoder {
public:
    MpegDecoder(std::unique_ptr<InputFile> in, const MpegLayout& layout)
        : m_in(std::move(in)), m_layout(layout) {
        m_window = {m_in.get(), layout.firstFrame, layout.audioEnd};
    }

    bool init(uint32_t flags) {
        int err = MPG123_OK;
        m_mh.reset(mpg123_new(nullptr, &err));
        if (!m_mh) {
            return false;
        }
        mpg123_handle* mh = m_mh.get();
        mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_SKIP_ID3V2 | MPG123_NO_FRANKENSTEIN,
                     0.0);
        mpg123_format_none(mh);
        const long* rates = nullptr;
        size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        for (size_t i = 0; i < rateCount; ++i) {
            mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
        }
        if (mpg123_replace_reader_handle(mh, windowRead, windowSeek, nullptr) != MPG123_OK || !openHandle()) {
            return false;
        }
        if (m_in->sequential() && m_in->size() != InputFile::kUnknownSize) {
            // The length is then estimated from the announced size.
            mpg123_set_filesize(mh, static_cast<off_t>(m_layout.audioEnd - m_layout.firstFrame));
        }
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels < 1 ||
            channels > 2 || encoding != MPG123_ENC_FLOAT_32) {
            return false;
        }
        // Keep this format for the whole stream: libmpg123 converts a later
        // frame of another rate or channel count instead of changing it.
        mpg123_format_none(mh);
        if (mpg123_format(mh, rate, channels, MPG123_ENC_FLOAT_32) != MPG123_OK) {
            return false;
        }
        m_rate = static_cast<uint32_t>(rate);
        m_channels = static_cast<uint32_t>(channels);
        mpg123_frameinfo info{};
        const int layer = mpg123_info(mh, &info) == MPG123_OK ? info.layer : m_layout.first.layer;
        m_ctype = layer == 1 ? codes::kCtypeMp1 : layer == 2 ? codes::kCtypeMp2 : codes::kCtypeMp3;
        m_samplesPerFrame = layer == 1 ? 384 : (layer == 3 && m_layout.first.version != 1) ? 576 : 1152;

        // A prescan counts the frames that are really there (a truncated
        // file's info header still declares the whole length). Without an info
        // header the length would be guessed from the first frame's bit rate,
        // which need not be the others', so the frames are counted then too. A
        // stream still arriving cannot be scanned.
        const bool scan = (flags & codes::kStreamPrescan) != 0 || !hasInfoHeader();
        const bool scanned = scan && !m_in->sequential() && mpg123_scan(mh) == MPG123_OK;
        const off_t length = mpg123_length(mh);
        if (length >= 0) {
            m_length = static_cast<uint64_t>(length);
            if (scanned) {
                m_limit = m_length;
            }
        }
        readTags();
        return true;
    }

    uint32_t sampleRate() const override { return m_rate; }
    uint32_t channels() const override { return m_channels; }
    uint32_t channelType() const override { return m_ctype; }
    std::optional<uint64_t> lengthFrames() const override { return m_length; }

    uint64_t read(float* out, uint64_t frames) override {
        const uint64_t got = decode(out, frames);
        m_pos += got;
        return got;
    }

private:
    // Whether the first frame is a Xing/Info or VBRI header, which gives the
    // stream's frame count.
    bool hasInfoHeader() {
        const std::string frame = m_in->peek(m_layout.firstFrame, m_layout.first.length);
        return frame.find("Xing") != std::string::npos || frame.find("Info") != std::string::npos ||
               frame.find("VBRI") != std::string::npos;
    }

    // Frames that decode to nothing (the skipped encoder delay) make
    // no output; a stream that makes none for this long is broken.
    static constexpr int kMaxIdleReads = 4096;

    // Reads decoded frames; fewer than asked only at the end or on an error.
    uint64_t decode(float* out, uint64_t frames) {
        if (m_ended || frames == 0) {
            return 0;
        }
        const size_t frameBytes = sizeof(float) * m_channels;
        auto* bytes = reinterpret_cast<unsigned char*>(out);
        const size_t want = static_cast<size_t>(frames) * frameBytes;
        size_t total = 0;
        int idle = 0;
        while (total < want) {
            size_t done = 0;
            const int r = mpg123_read(m_mh.get(), bytes + total, want - total, &done);
            total += done;
            if (r == MPG123_NEW_FORMAT) {
                if (!sameFormat()) {
                    m_ended = true;
                    break;
                }
            } else if (r != MPG123_OK) {
                // MPG123_DONE at the end; an error (input that cannot be
                // resynchronised) ends the stream the same way.
                m_ended = true;
                break;
            }
            // Frames that decode to nothing (the skipped encoder delay) make
            // no output; a stream that makes none for this long is broken.
            idle = done == 0 ? idle + 1 : 0;
            if (idle > kMaxIdleReads) {
                m_ended = true;
                break;
            }
        }
        return total / frameBytes;
    }

    bool seek(uint64_t frame) override {
        if (m_in->sequential()) {
            return false;
        }
        // The first seek scans the file once: the exact end is then known
        // (even for a truncated file or one without an info header), and the
        // seek index is complete.
        if (!m_limit) {
            const off_t pos = mpg123_tell(m_mh.get());
            if (mpg123_scan(m_mh.get()) != MPG123_OK || mpg123_tell(m_mh.get()) != pos) {
                return false;
            }
            const off_t length = mpg123_length(m_mh.get());
            m_limit = length >= 0 ? static_cast<uint64_t>(length) : 0;
        }
        if (frame > *m_limit) {
            return false;
        }
        if (moveTo(frame)) {
            return true;
        }
        moveTo(m_pos);  // back to where it was, as far as the file allows
        return false;
    }

    std::optional<std::string_view> tags(uint32_t type) const override {
        if (type == codes::kTagId3 && !m_id3v1.empty()) {
            return std::string_view(m_id3v1);
        }
        if (type == codes::kTagId3v2 && !m_id3v2.empty()) {
            return std::string_view(m_id3v2);
        }
        return std::nullopt;
    }

    uint64_t fileBytePosition() const override {
        const off_t at = mpg123_tell_stream(m_mh.get());
        return m_layout.firstFrame + (at > 0 ? static_cast<uint64_t>(at) : 0);
    }
    uint64_t fileSize() const override { return m_in->size(); }

    // MPEG frames decoded and dropped before a seek target. Decoding from
    // that far back fills the bit reservoir (at most 511 bytes in MPEG-1,
    // 255 in MPEG-2: 11 frames of 24 bytes at 8 kbit/s and 24 kHz) and the
    // overlap of the inverse MDCT and the synthesis filter as a decode from
    // the start would.
    static constexpr uint64_t kPrerollMpegFrames = 12;
    // The decoding restarts on a frame number that is a multiple of this,
    // from a freshly opened decoder, so the decoder's alternating buffers
    // (which depend on how many granules it has decoded) are in the same
    // phase as in a straight decode: the samples after a seek are then
    // bit-identical to those of a straight decode, not just close.
    static constexpr uint64_t kSeekAlignFrames = 16;

    // (Re)opens libmpg123 on the window, at the start of the audio.
    bool openHandle() {
        mpg123_close(m_mh.get());
        return m_in->seek(m_window.begin) && mpg123_open_handle(m_mh.get(), &m_window) == MPG123_OK;
    }

    // Reopens with a fresh decoder state, keeping the seek index already
    // built (so a seek need not parse the file up to the target again).
    bool reopen() {
        off_t* offsets = nullptr;
        off_t step = 0;
        size_t fill = 0;
        std::vector<off_t> index;
        if (mpg123_index(m_mh.get(), &offsets, &step, &fill) == MPG123_OK && offsets != nullptr) {
            index.assign(offsets, offsets + fill);
        }
        if (!openHandle()) {
            return false;
        }
        if (!index.empty()) {
            mpg123_set_index(m_mh.get(), index.data(), step, index.size());
        }
        return true;
    }

    // Positions the decoder at `frame` so that what follows is what a
    // straight decode gives there.
    bool moveTo(uint64_t frame) {
        m_ended = false;
        if (!reopen()) {
            m_ended = true;
            return false;
        }
        const uint64_t mpegFrame = frame / m_samplesPerFrame;
        uint64_t from = 0;
        if (mpegFrame > kPrerollMpegFrames) {
            const uint64_t restart = (mpegFrame - kPrerollMpegFrames) / kSeekAlignFrames * kSeekAlignFrames;
            const off_t at = mpg123_seek_frame(m_mh.get(), static_cast<off_t>(restart), SEEK_SET);
            const off_t sample = at < 0 ? -1 : mpg123_tell(m_mh.get());
            if (sample < 0 || static_cast<uint64_t>(sample) > frame) {
                return false;
            }
            from = static_cast<uint64_t>(sample);
        }
        m_scratch.resize(4096 * m_channels);
        for (uint64_t left = frame - from; left > 0;) {
            const uint64_t got = decode(m_scratch.data(), std::min<uint64_t>(left, 4096));
            if (got == 0) {
                return false;
            }
            left -= got;
        }
        m_pos = frame;
        return true;
    }

    bool sameFormat() {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        return mpg123_getformat(m_mh.get(), &rate, &channels, &encoding) == MPG123_OK &&
               rate == static_cast<long>(m_rate) && channels == static_cast<int>(m_channels) &&
               encoding == MPG123_ENC_FLOAT_32;
    }

    void readTags() {
        if (m_layout.hasId3v1) {
            m_id3v1 = m_in->peek(m_in->size() - 128, 128);
        }
        if (m_layout.id3v2Size > 0 && m_layout.id3v2Size <= kMaxId3v2TagBytes) {
            m_id3v2 = m_in->peek(0, static_cast<size_t>(m_layout.id3v2Size));
        }
    }

    // Declaration order matters: libmpg123's handle reads through m_window,
    // which reads m_in, so it is destroyed first.
    std::unique_ptr<InputFile> m_in;
    MpegLayout m_layout;
    Window m_window;
    Mpg123Ptr m_mh;
    uint32_t m_rate = 0;
    uint32_t m_channels = 0;
    uint32_t m_ctype = 0;
    std::optional<uint64_t> m_length;
    uint32_t m_samplesPerFrame = 1152;
    // The exact end, known after the first seek's scan.
    std::optional<uint64_t> m_limit;
    std::vector<float> m_scratch;
    uint64_t m_pos = 0;
    bool m_ended = false;
    std::string m_id3v1;
    std::string m_id3v2;
};

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

std::unique_ptr<Decoder> MpegDecoderFactory::openInput(std::unique_ptr<InputFile> in, uint32_t flags) const {
    if (!in) {
        return nullptr;
    }
    const auto layout = probeMpeg(*in);
    if (!layout) {
        return nullptr;
    }
    initLibrary();
    auto decoder = std::make_unique<MpegDecoder>(std::move(in), *layout);
    if (!decoder->init(flags)) {
        return nullptr;
    }
    return decoder;
}

}  // namespace qaudio
