#include "platform/audio/core/net/NetSource.h"

#include <algorithm>
#include <chrono>

#include "platform/audio/decoders/BuiltinDecoders.h"

namespace qaudio::net {

namespace {

// Slack for a decoder's read-ahead beyond the bytes of the frames asked for
// (an Ogg page, a few MPEG frames and libvorbisfile's read size).
constexpr uint64_t kReadSlack = 16 * 1024;
// A read of the stream waits for this many bytes (or the end) rather than
// return the first few: a decoder recognising its format needs several
// frames in one look.
constexpr size_t kMinRead = 16 * 1024;

// An InputFile over a download. The sequential one (the decoder that plays
// while the file arrives) reports how far it has read; the other reads a
// complete download.
class NetInput final : public InputFile {
  public:
    NetInput(std::shared_ptr<NetStream> stream, bool sequential, std::function<void(uint64_t)> consumed)
        : m_stream(std::move(stream)), m_sequential(sequential), m_consumed(std::move(consumed)) {}

    size_t read(void* out, size_t count) override {
        if (count == 0) return 0;
        const size_t n = m_stream->read(m_pos, out, count, kMinRead);
        m_pos += n;
        if (m_sequential && m_pos > m_high) {
            m_high = m_pos;
            if (m_consumed) m_consumed(m_high);
        }
        return n;
    }
    bool seek(uint64_t offset) override {
        if (m_sequential ? !m_stream->waitFor(offset) : offset > size()) return false;
        m_pos = offset;
        return true;
    }
    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_stream->dataSize().value_or(kUnknownSize); }
    bool sequential() const override { return m_sequential; }

  private:
    std::shared_ptr<NetStream> m_stream;
    const bool m_sequential;
    std::function<void(uint64_t)> m_consumed;
    uint64_t m_pos = 0;
    uint64_t m_high = 0;
};

constexpr DWORD kDecoderTagTypes[] = {BASS_TAG_ID3, BASS_TAG_ID3V2, BASS_TAG_OGG, BASS_TAG_VENDOR};

}  // namespace

std::unique_ptr<NetSource> NetSource::open(std::shared_ptr<NetStream> stream, DWORD flags, int& error) {
    std::unique_ptr<NetSource> self(new NetSource(std::move(stream)));
    NetSource* s = self.get();
    auto input =
        std::make_unique<NetInput>(s->m_stream, true, [s](uint64_t at) { s->m_stream->consumed(at); });
    s->m_input = input.get();
    s->m_decoder = openNetworkDecoder(std::move(input), flags & ~BASS_STREAM_PRESCAN);
    if (!s->m_decoder) {
        error = s->m_stream->failed() ? BASS_ERROR_FILEOPEN : BASS_ERROR_FILEFORM;
        return nullptr;
    }
    s->m_stream->release();
    s->m_rate = s->m_decoder->sampleRate();
    s->m_channels = s->m_decoder->channels();
    s->m_ctype = s->m_decoder->channelType();
    s->m_startOffset = s->m_input->tell();
    s->m_current = s->m_startOffset;
    if (const auto frames = s->m_decoder->lengthFrames()) s->m_length = int64_t(*frames);
    if (const uint32_t kbps = s->m_stream->head().bitrateKbps) {
        s->m_bytesPerFrame = double(kbps) * 125.0 / s->m_rate;
    }
    s->copyDecoderTags(*s->m_decoder);
    s->takeMeta();
    // A body that arrived before the hook was in place is handled here, before
    // the channel exists: it is seekable from the start, with no download sync.
    if (!s->m_stream->setOnComplete([s] { s->openWhole(); }, [s] { s->fire(BASS_SYNC_DOWNLOAD, 0); }))
        s->openWhole();
    return self;
}

NetSource::~NetSource() {
    m_stream->stop();  // the download thread no longer calls into this object
}

void NetSource::copyDecoderTags(const Decoder& decoder) {
    std::lock_guard lock(m_mutex);
    for (DWORD type : kDecoderTagTypes)
        if (const auto view = decoder.tags(type)) m_decoderTags[type] = std::string(*view);
}

void NetSource::openWhole() {
    if (m_stream->keptWhole()) {
        auto input = std::make_unique<NetInput>(m_stream, false, nullptr);
        if (auto whole = openNetworkDecoder(std::move(input), BASS_STREAM_PRESCAN);
            whole && whole->sampleRate() == m_rate && whole->channels() == m_channels) {
            if (const auto frames = whole->lengthFrames()) m_length = int64_t(*frames);
            copyDecoderTags(*whole);
            std::lock_guard lock(m_mutex);
            m_whole = std::move(whole);
        }
    }
    std::lock_guard lock(m_mutex);
    m_wholeDone = true;
    m_wholeCv.notify_all();
}

void NetSource::takeMeta() {
    // The decoder's place, not how far it looked ahead when it was opened.
    for (std::string& text : m_stream->takeMeta(m_input->tell())) {
        {
            std::lock_guard lock(m_mutex);
            m_meta = std::move(text);
        }
        fire(BASS_SYNC_META, 0);
    }
}

void NetSource::fire(DWORD type, DWORD data) {
    std::lock_guard lock(m_eventsMutex);
    if (m_events) m_events(type, data);
}

void NetSource::setEvents(std::function<void(DWORD, DWORD)> sink) {
    std::lock_guard lock(m_eventsMutex);
    m_events = std::move(sink);
}

uint64_t NetSource::bytesNeeded(size_t frames) const {
    const uint64_t buffer = m_stream->bufferBytes();
    const uint64_t want = uint64_t(m_bytesPerFrame * double(frames)) + std::min(kReadSlack, buffer / 4);
    return std::min(want, buffer / 2);
}

size_t NetSource::read(float* out, size_t frames, bool& ended) {
    if (m_input && !m_stream->finished()) {
        const uint64_t downloaded = m_stream->downloaded();
        const uint64_t at = m_input->tell();
        if (downloaded < at + bytesNeeded(frames)) return 0;  // stalled until more arrives
    }
    const uint64_t got = m_decoder->read(out, frames);
    if (got == 0) ended = true;
    if (m_input) {
        m_current = m_input->tell();
        takeMeta();
        m_decodedFrames += got;
        // Once a second of audio has been decoded, its bytes per frame say
        // how large the network buffer's seconds are.
        if (!m_measured && m_decodedFrames >= m_rate && m_current > m_startOffset) {
            m_measured = true;
            m_bytesPerFrame = double(m_current - m_startOffset) / double(m_decodedFrames);
            m_stream->setBufferBitrate(uint32_t(m_bytesPerFrame * m_rate * 8 / 1000));
        }
    } else {
        m_current = m_decoder->fileBytePosition();
    }
    return size_t(got);
}

bool NetSource::seek(uint64_t frame) {
    {
        std::unique_lock lock(m_mutex);
        // Every byte is in and the whole file's decoder is being opened on the
        // download thread: a seek made just now waits for it.
        if (m_input && m_stream->keptWhole())
            m_wholeCv.wait_for(lock, std::chrono::seconds(10), [&] { return m_wholeDone; });
        if (m_whole) {
            m_decoder = std::move(m_whole);
            m_input = nullptr;
        }
    }
    if (m_input) return false;  // still arriving: read front to back only
    if (!m_decoder->seek(frame)) return false;
    m_current = m_decoder->fileBytePosition();
    return true;
}

std::optional<uint64_t> NetSource::lengthFrames() const {
    const int64_t n = m_length.load();
    return n < 0 ? std::nullopt : std::optional<uint64_t>(uint64_t(n));
}

std::optional<std::string> NetSource::tag(DWORD type) const {
    if (type == BASS_TAG_ICY || type == BASS_TAG_HTTP) {
        const ResponseHead head = m_stream->head();
        if (head.lines.empty() || head.icy != (type == BASS_TAG_ICY)) return std::nullopt;
        std::string s = series(head.lines);
        s.pop_back();  // the channel adds the series' last NUL
        return s;
    }
    std::lock_guard lock(m_mutex);
    if (type == BASS_TAG_META) return m_meta;
    const auto it = m_decoderTags.find(type);
    if (it == m_decoderTags.end()) return std::nullopt;
    return it->second;
}

int NetSource::filePosition(DWORD mode, QWORD& out) const {
    switch (mode) {
        case BASS_FILEPOS_CURRENT:
            out = m_current.load();
            return BASS_OK;
        case BASS_FILEPOS_DOWNLOAD:
            out = m_stream->downloaded();
            return BASS_OK;
        case BASS_FILEPOS_END:
            // A stream of unknown length: the network buffer's size, so the
            // share of it that is filled tells how far buffering has come.
            out = m_stream->totalSize().value_or(m_stream->bufferBytes());
            return BASS_OK;
        case BASS_FILEPOS_START:
            out = 0;
            return BASS_OK;
        default:
            return BASS_ERROR_NOTAVAIL;
    }
}

}  // namespace qaudio::net
