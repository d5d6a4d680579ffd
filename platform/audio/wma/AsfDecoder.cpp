#include "platform/audio/wma/AsfDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/wma/WmaTags.h"

namespace qwma {

namespace {

constexpr int kIoBufferSize = 32 * 1024;
// Decoded data outside these bounds is not audio we can play.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 384000;
constexpr int kMaxChannels = 8;
// A damaged stream may make every packet fail; after this many failures in a
// row the stream ends instead of reading the rest of a broken file.
constexpr int kMaxFailedPackets = 64;
// A seek that lands after its target goes back this far and tries again, at
// most kSeekRetries times, before decoding from the start.
constexpr int64_t kSeekBackMs = 2000;
constexpr int kSeekRetries = 3;
// Network reads give up after this long without data (microseconds).
constexpr const char* kNetTimeoutUs = "10000000";

void quietOnce() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct IoCloser {
    void operator()(AVIOContext* io) const {
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

// The bytes of a file or of memory, read by the demuxer through callbacks.
class Input {
  public:
    explicit Input(uint64_t size) : m_size(size) {}
    virtual ~Input() = default;
    uint64_t size() const { return m_size; }

    static int readCb(void* opaque, uint8_t* buf, int size) {
        auto* in = static_cast<Input*>(opaque);
        const uint64_t left = in->m_size - std::min(in->m_size, in->m_pos);
        const size_t want = size_t(std::min<uint64_t>(uint64_t(std::max(size, 0)), left));
        const size_t n = want > 0 ? in->readAt(buf, want, in->m_pos) : 0;
        in->m_pos += n;
        return n > 0 ? int(n) : AVERROR_EOF;
    }
    static int64_t seekCb(void* opaque, int64_t offset, int whence) {
        auto* in = static_cast<Input*>(opaque);
        if (whence & AVSEEK_SIZE) return int64_t(in->m_size);
        const int64_t size = int64_t(in->m_size);
        whence &= ~AVSEEK_FORCE;
        const int64_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? int64_t(in->m_pos)
                             : whence == SEEK_END ? size
                                                  : -1;
        if (base < 0 || (offset > 0 && base > INT64_MAX - offset)) return -1;
        const int64_t to = base + offset;
        if (to < 0 || to > size) return -1;
        in->m_pos = uint64_t(to);
        return to;
    }

  private:
    // Reads `size` bytes (all within the input) at `pos`; returns the count.
    virtual size_t readAt(uint8_t* buf, size_t size, uint64_t pos) = 0;
    const uint64_t m_size;
    uint64_t m_pos = 0;
};

class FileInput final : public Input {
  public:
    FileInput(int fd, uint64_t size) : Input(size), m_fd(fd) {}
    ~FileInput() override { ::close(m_fd); }

  private:
    size_t readAt(uint8_t* buf, size_t size, uint64_t pos) override {
        const ssize_t n = ::pread(m_fd, buf, size, off_t(pos));
        return n > 0 ? size_t(n) : 0;
    }
    int m_fd;
};

class MemoryInput final : public Input {
  public:
    MemoryInput(const uint8_t* data, size_t size) : Input(size), m_data(data) {}

  private:
    size_t readAt(uint8_t* buf, size_t size, uint64_t pos) override {
        std::memcpy(buf, m_data + pos, size);
        return size;
    }
    const uint8_t* m_data;
};

uint32_t channelTypeOf(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_WMAV1:
        case AV_CODEC_ID_WMAV2:
        case AV_CODEC_ID_WMAPRO:
        case AV_CODEC_ID_WMALOSSLESS:
        case AV_CODEC_ID_WMAVOICE:
            return BASS_CTYPE_STREAM_WMA;
        case AV_CODEC_ID_MP3:
            return BASS_CTYPE_STREAM_WMA_MP3;
        default:
            return 0;
    }
}

// Sample `i` of a packed or planar buffer as a float in [-1, 1].
float sampleAt(AVSampleFormat fmt, const uint8_t* p, size_t i) {
    switch (av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_U8:
            return (float(p[i]) - 128.0f) / 128.0f;
        case AV_SAMPLE_FMT_S16: {
            int16_t v;
            std::memcpy(&v, p + i * 2, 2);
            return float(v) / 32768.0f;
        }
        case AV_SAMPLE_FMT_S32: {
            int32_t v;
            std::memcpy(&v, p + i * 4, 4);
            return float(double(v) / 2147483648.0);
        }
        case AV_SAMPLE_FMT_FLT: {
            float v;
            std::memcpy(&v, p + i * 4, 4);
            return v;
        }
        case AV_SAMPLE_FMT_DBL: {
            double v;
            std::memcpy(&v, p + i * 8, 8);
            return float(v);
        }
        case AV_SAMPLE_FMT_S64: {
            int64_t v;
            std::memcpy(&v, p + i * 8, 8);
            return float(double(v) / 9223372036854775808.0);
        }
        default:
            return 0.0f;
    }
}

class AsfDecoder final : public qaudio::Decoder {
  public:
    AsfDecoder(std::unique_ptr<Input> input, std::unique_ptr<AVIOContext, IoCloser> io)
        : m_input(std::move(input)), m_io(std::move(io)) {}

    // Takes a context that avformat_open_input opened.
    bool init(AVFormatContext* format, uint32_t flags, bool network);

    uint32_t sampleRate() const override { return uint32_t(m_rate); }
    uint32_t channels() const override { return uint32_t(m_channels); }
    uint32_t channelType() const override { return m_channelType; }
    std::optional<uint64_t> lengthFrames() const override { return m_length; }
    uint64_t read(float* out, uint64_t frames) override;
    bool seek(uint64_t frame) override;
    std::optional<std::string_view> tags(uint32_t type) const override {
        if (type == BASS_TAG_WMA) return std::string_view(m_tags);
        return std::nullopt;
    }
    uint64_t fileBytePosition() const override {
        const int64_t pos = m_format && m_format->pb ? avio_tell(m_format->pb) : 0;
        return pos > 0 ? std::min(uint64_t(pos), m_fileSize) : 0;
    }
    uint64_t fileSize() const override { return m_fileSize; }

  private:
    // Decodes the next frame into m_pending; false at the end of the stream.
    bool decodeNext();
    bool convert(const AVFrame* frame);
    // Repositions the demuxer at or before `frame` and leaves m_pending at the
    // first decoded frame there; false when that fails.
    bool seekNear(uint64_t frame, int64_t backMs);
    bool rewind();
    std::optional<uint64_t> countFrames();
    uint64_t frameOfPts(int64_t pts) const;

    std::unique_ptr<Input> m_input;  // before the contexts that read it
    std::unique_ptr<AVIOContext, IoCloser> m_io;
    std::unique_ptr<AVFormatContext, FormatCloser> m_format;
    std::unique_ptr<AVCodecContext, CodecCloser> m_codec;
    std::unique_ptr<AVPacket, PacketCloser> m_packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameCloser> m_frame{av_frame_alloc()};
    AVStream* m_stream = nullptr;
    int64_t m_startPts = 0;
    int m_rate = 0;
    int m_channels = 0;
    uint32_t m_channelType = 0;
    std::optional<uint64_t> m_length;
    uint64_t m_fileSize = 0;
    std::string m_tags;

    std::vector<float> m_pending;  // interleaved samples of the last decoded frame
    size_t m_pendingAt = 0;        // frames of m_pending already delivered
    std::optional<int64_t> m_pendingPts;
    uint64_t m_position = 0;  // frames delivered since the start
    bool m_flushed = false;   // the decoder was told the input ended
    bool m_ended = false;
};

bool AsfDecoder::init(AVFormatContext* format, uint32_t flags, bool network) {
    m_format.reset(format);
    if (!m_packet || !m_frame) return false;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return false;
    m_stream = format->streams[index];
    m_channelType = channelTypeOf(m_stream->codecpar->codec_id);
    if (m_channelType == 0) return false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (int(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    }
    m_codec.reset(avcodec_alloc_context3(codec));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), m_stream->codecpar) < 0) return false;
    m_codec->pkt_timebase = m_stream->time_base;
    m_codec->thread_count = 1;
    if (avcodec_open2(m_codec.get(), codec, nullptr) < 0) return false;
    m_rate = m_codec->sample_rate;
    m_channels = m_codec->ch_layout.nb_channels;
    if (m_rate < kMinRate || m_rate > kMaxRate || m_channels < 1 || m_channels > kMaxChannels) return false;
    if (m_stream->time_base.num <= 0 || m_stream->time_base.den <= 0) return false;
    m_startPts = m_stream->start_time != AV_NOPTS_VALUE ? m_stream->start_time : 0;

    if (m_stream->duration != AV_NOPTS_VALUE && m_stream->duration > 0) {
        m_length = uint64_t(av_rescale_q(m_stream->duration, m_stream->time_base, AVRational{1, m_rate}));
    } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        m_length =
            uint64_t(av_rescale_q(format->duration, AVRational{1, AV_TIME_BASE}, AVRational{1, m_rate}));
    }
    if (m_input) {
        m_fileSize = m_input->size();
    } else if (format->pb) {
        const int64_t size = avio_size(format->pb);
        if (size > 0) m_fileSize = uint64_t(size);
    }
    if ((flags & BASS_STREAM_PRESCAN) && !network) {
        const auto counted = countFrames();
        if (!counted) return false;
        m_length = counted;
    }

    std::vector<std::pair<std::string, std::string>> metadata;
    for (const AVDictionary* dict : {static_cast<const AVDictionary*>(format->metadata),
                                     static_cast<const AVDictionary*>(m_stream->metadata)}) {
        const AVDictionaryEntry* e = nullptr;
        while ((e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX))) metadata.emplace_back(e->key, e->value);
    }
    const int64_t bitRate = m_stream->codecpar->bit_rate;
    m_tags =
        buildTagSeries(m_fileSize ? std::optional<uint64_t>(m_fileSize) : std::nullopt,
                       bitRate > 0 ? std::optional<uint64_t>(uint64_t(bitRate)) : std::nullopt, metadata);
    return true;
}

uint64_t AsfDecoder::frameOfPts(int64_t pts) const {
    const int64_t rel = pts - m_startPts;
    if (rel <= 0) return 0;
    return uint64_t(av_rescale_q(rel, m_stream->time_base, AVRational{1, m_rate}));
}

bool AsfDecoder::convert(const AVFrame* frame) {
    if (frame->nb_samples <= 0 || frame->ch_layout.nb_channels != m_channels || frame->sample_rate != m_rate)
        return false;  // a damaged packet that changed the format: dropped
    const auto fmt = static_cast<AVSampleFormat>(frame->format);
    const size_t n = size_t(frame->nb_samples);
    const size_t ch = size_t(m_channels);
    m_pending.resize(n * ch);
    if (av_sample_fmt_is_planar(fmt)) {
        for (size_t c = 0; c < ch; ++c) {
            const uint8_t* plane = frame->extended_data[c];
            for (size_t i = 0; i < n; ++i) m_pending[i * ch + c] = sampleAt(fmt, plane, i);
        }
    } else {
        const uint8_t* data = frame->extended_data[0];
        for (size_t i = 0; i < n * ch; ++i) m_pending[i] = sampleAt(fmt, data, i);
    }
    m_pendingAt = 0;
    const int64_t pts = frame->best_effort_timestamp;
    m_pendingPts = pts != AV_NOPTS_VALUE ? std::optional<int64_t>(pts) : std::nullopt;
    return true;
}

bool AsfDecoder::decodeNext() {
    int failed = 0;
    while (!m_ended) {
        const int r = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (r == 0) {
            const bool ok = convert(m_frame.get());
            av_frame_unref(m_frame.get());
            if (ok) return true;
            continue;
        }
        if (r != AVERROR(EAGAIN)) break;  // the end, or a decoder that cannot go on
        if (m_flushed) break;
        if (av_read_frame(m_format.get(), m_packet.get()) < 0) {
            avcodec_send_packet(m_codec.get(), nullptr);
            m_flushed = true;
            continue;
        }
        if (m_packet->stream_index == m_stream->index) {
            if (avcodec_send_packet(m_codec.get(), m_packet.get()) < 0) {
                if (++failed > kMaxFailedPackets) m_ended = true;
            } else {
                failed = 0;
            }
        }
        av_packet_unref(m_packet.get());
    }
    m_ended = true;
    m_pending.clear();
    m_pendingAt = 0;
    return false;
}

uint64_t AsfDecoder::read(float* out, uint64_t frames) {
    uint64_t done = 0;
    const size_t ch = size_t(m_channels);
    while (done < frames) {
        if (m_length && m_position >= *m_length) break;
        if (m_pendingAt * ch >= m_pending.size() && !decodeNext()) break;
        uint64_t n = std::min<uint64_t>(frames - done, m_pending.size() / ch - m_pendingAt);
        if (m_length) n = std::min(n, *m_length - m_position);
        std::memcpy(out + done * ch, m_pending.data() + m_pendingAt * ch, size_t(n) * ch * sizeof(float));
        m_pendingAt += size_t(n);
        m_position += n;
        done += n;
    }
    return done;
}

bool AsfDecoder::rewind() {
    if (av_seek_frame(m_format.get(), m_stream->index, m_startPts, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(m_format.get(), -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE) < 0)
        return false;
    avcodec_flush_buffers(m_codec.get());
    m_flushed = m_ended = false;
    m_pending.clear();
    m_pendingAt = 0;
    m_position = 0;
    return true;
}

bool AsfDecoder::seekNear(uint64_t frame, int64_t backMs) {
    int64_t ms = int64_t(frame * 1000 / uint64_t(m_rate)) - backMs;
    if (ms <= 0) return false;
    const int64_t ts = m_startPts + av_rescale_q(ms, AVRational{1, 1000}, m_stream->time_base);
    if (av_seek_frame(m_format.get(), m_stream->index, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(m_codec.get());
    m_flushed = m_ended = false;
    m_pending.clear();
    m_pendingAt = 0;
    if (!decodeNext() || !m_pendingPts) return false;
    m_position = frameOfPts(*m_pendingPts);
    return m_position <= frame;
}

bool AsfDecoder::seek(uint64_t frame) {
    if (m_length && frame > *m_length) return false;
    bool placed = false;
    for (int i = 0; i < kSeekRetries && !placed; ++i) placed = seekNear(frame, kSeekBackMs * i);
    if (!placed && !rewind()) return false;
    // Decode forward to the frame, dropping what lies before it.
    const size_t ch = size_t(m_channels);
    while (m_position < frame) {
        if (m_pendingAt * ch >= m_pending.size() && !decodeNext()) break;
        const uint64_t n = std::min<uint64_t>(frame - m_position, m_pending.size() / ch - m_pendingAt);
        m_pendingAt += size_t(n);
        m_position += n;
    }
    return true;
}

std::optional<uint64_t> AsfDecoder::countFrames() {
    uint64_t total = 0;
    while (decodeNext()) total += m_pending.size() / size_t(m_channels);
    if (!rewind()) return std::nullopt;
    return total;
}

// Wraps an input in an AVIOContext and opens it as ASF.
std::unique_ptr<qaudio::Decoder> openInput(std::unique_ptr<Input> input, uint32_t flags) {
    quietOnce();
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return nullptr;
    std::unique_ptr<AVIOContext, IoCloser> io(
        avio_alloc_context(buffer, kIoBufferSize, 0, input.get(), &Input::readCb, nullptr, &Input::seekCb));
    if (!io) {
        av_free(buffer);
        return nullptr;
    }
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return nullptr;
    format->pb = io.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&format, nullptr, av_find_input_format("asf"), nullptr) < 0) return nullptr;
    auto decoder = std::make_unique<AsfDecoder>(std::move(input), std::move(io));
    if (!decoder->init(format, flags, false)) return nullptr;
    return decoder;
}

std::unique_ptr<qaudio::Decoder> openNetwork(const std::string& url, uint32_t flags) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "mmsh,mmst,http,https,tcp,tls", 0);
    av_dict_set(&options, "rw_timeout", kNetTimeoutUs, 0);
    AVFormatContext* format = nullptr;
    const int r = avformat_open_input(&format, url.c_str(), av_find_input_format("asf"), &options);
    av_dict_free(&options);
    if (r < 0) return nullptr;
    auto decoder = std::make_unique<AsfDecoder>(nullptr, nullptr);
    if (!decoder->init(format, flags, true)) return nullptr;
    return decoder;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::unique_ptr<qaudio::Decoder> openAsfFile(const std::string& path, uint32_t flags) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return openInput(std::make_unique<FileInput>(fd, uint64_t(st.st_size)), flags);
}

std::unique_ptr<qaudio::Decoder> openAsfMemory(const uint8_t* data, size_t size, uint32_t flags) {
    return openInput(std::make_unique<MemoryInput>(data, size), flags);
}

std::unique_ptr<qaudio::Decoder> openAsfUrl(const std::string& url, uint32_t flags) {
    quietOnce();
    static std::once_flag network;
    std::call_once(network, [] { avformat_network_init(); });
    if (startsWith(url, "mms://")) {
        const std::string rest = url.substr(3);  // "://host/path"
        for (const char* scheme : {"mmsh", "mmst"}) {
            if (auto decoder = openNetwork(scheme + rest, flags)) return decoder;
        }
        return nullptr;
    }
    if (startsWith(url, "mmsh://") || startsWith(url, "mmst://") || startsWith(url, "http://") ||
        startsWith(url, "https://"))
        return openNetwork(url, flags);
    return nullptr;
}

}  // namespace qwma
