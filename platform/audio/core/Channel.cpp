#include "platform/audio/core/Channel.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/audio/core/Fft.h"
#include "platform/audio/core/PipeLock.h"

namespace qaudio {

// One per thread, never shared.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
thread_local const Channel* t_pipeOwner = nullptr;

namespace {

// Frames converted per step by getData (bounds the scratch buffer).
constexpr size_t kDecodeStep = 8192;
// Replaced tag texts of a network stream kept alive (a title a minute for a
// quarter of an hour).
constexpr size_t kOldTagTexts = 16;

}  // namespace

Channel::Channel(ChannelEnv& env, ChannelSetup setup)
    : m_env(env),
      m_handle(setup.handle),
      m_format(setup.format),
      m_flags(setup.flags),
      m_music(setup.music),
      m_fileName(std::move(setup.fileName)),
      m_plugin(setup.plugin),
      m_keepAlive(std::move(setup.keepAlive)),
      m_source(std::move(setup.source)) {
    m_lengthFrames = m_source->lengthFrames();
    m_channelType = m_source->channelType();
    m_isFile = m_source->fileSize().has_value();
    m_net = m_source->net();
    if (m_net) m_net->setEvents([this](DWORD type, DWORD data) { raise(type, data); });
}

Channel::~Channel() {
    std::thread t;
    {
        quillet::MutexLock lock(m_state);
        m_quit = true;
        t = std::move(m_thread);
    }
    m_wake.notify_all();
    if (m_output) m_output->interrupt();
    if (t.joinable()) {
        if (t.get_id() == std::this_thread::get_id()) {
            t.detach();
        } else {
            t.join();
        }
    }
}

void Channel::info(BASS_CHANNELINFO& out) const {
    out = BASS_CHANNELINFO{};
    out.freq = m_format.rate;
    out.chans = m_format.channels;
    out.flags = m_flags;
    out.ctype = m_channelType;
    out.origres = 0;
    out.plugin = m_plugin;
    out.sample = 0;
    out.filename = m_isFile ? m_fileName.c_str() : nullptr;
}

const char* Channel::tags(DWORD type) {
    if (!m_isFile) return nullptr;
    if (m_net) {
        std::optional<std::string> text = m_net->tag(type);
        if (!text) return nullptr;
        text->push_back('\0');  // a series ends with an empty string
        quillet::MutexLock lock(m_tagsMutex);
        auto& current = m_netTags[type];
        if (!current || *current != *text) {
            if (current) m_oldTags.push_back(std::move(current));
            if (m_oldTags.size() > kOldTagTexts) m_oldTags.pop_front();
            current = std::make_unique<const std::string>(std::move(*text));
        }
        return current->c_str();
    }
    {
        quillet::MutexLock lock(m_tagsMutex);
        auto it = m_tags.find(type);
        if (it != m_tags.end()) return it->second.c_str();
    }
    std::optional<std::string> block;
    {
        PipeLock pipe(*this);
        if (auto view = m_source->tags(type)) block.emplace(*view);
    }
    if (!block) return nullptr;
    // A series ends with an empty string: make sure a second NUL follows the
    // block whatever the decoder included (the string adds the last one).
    block->push_back('\0');
    quillet::MutexLock lock(m_tagsMutex);
    auto [it, inserted] = m_tags.emplace(type, std::move(*block));
    return it->second.c_str();
}

DWORD Channel::activeState() {
    if (isDecoding()) return m_ended ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
    quillet::MutexLock lock(m_state);
    switch (m_play.load()) {
        case State::Stopped:
            return BASS_ACTIVE_STOPPED;
        case State::Paused:
            return BASS_ACTIVE_PAUSED;
        case State::Playing:
            break;
    }
    Output* out = m_out.load();
    if (m_starved && out && out->queuedFrames() == 0) return BASS_ACTIVE_STALLED;
    return BASS_ACTIVE_PLAYING;
}

int Channel::ensureOutput() {
    if (m_output) return BASS_OK;
    auto out = m_env.openOutput(m_format);
    if (!out) return BASS_ERROR_START;
    // Room for the largest FFT window plus what is queued ahead of the ear.
    m_history.reset(m_format.channels, 4096 + size_t(m_format.rate) * kMaxQueueMs / 1000 * 2);
    m_output = std::move(out);
    m_out.store(m_output.get());
    m_thread = std::thread([self = shared_from_this()] { self->outputLoop(); });
    return BASS_OK;
}

int Channel::play(bool restart) {
    if (isDecoding()) return BASS_ERROR_DECODE;
    Output* out = nullptr;
    {
        quillet::MutexLock lock(m_state);
        if (m_freed) return BASS_ERROR_HANDLE;
        if (int err = ensureOutput()) return err;
        out = m_output.get();
        if (m_play == State::Playing && !restart) return BASS_OK;
    }
    if (restart || m_ended) {
        PipeLock pipe(*this);
        if (pipe.reentered()) return BASS_ERROR_NOTAVAIL;
        out->flush();
        if (m_source->seek(0)) m_srcPos = 0;
        m_ended = false;
        m_endRaised = false;
        m_stopPending = false;
        m_history.clear();
    }
    {
        quillet::MutexLock lock(m_state);
        if (m_freed) return BASS_ERROR_HANDLE;
        out->clearInterrupt();
        out->setPaused(false);
        m_play = State::Playing;
        ++m_generation;
    }
    m_wake.notify_all();
    return BASS_OK;
}

int Channel::pause() {
    if (isDecoding()) return BASS_ERROR_DECODE;
    quillet::MutexLock lock(m_state);
    if (m_play == State::Paused) return BASS_ERROR_ALREADY;
    if (m_play != State::Playing) return BASS_ERROR_NOPLAY;
    m_play = State::Paused;
    ++m_generation;
    m_output->interrupt();
    m_output->setPaused(true);
    return BASS_OK;
}

int Channel::stop() {
    if (isDecoding()) {
        PipeLock pipe(*this);  // returns once a running callback has
        return BASS_OK;
    }
    {
        quillet::MutexLock lock(m_state);
        m_play = State::Stopped;
        ++m_generation;
        if (!m_output) return BASS_OK;
        m_output->interrupt();
    }
    m_wake.notify_all();
    PipeLock pipe(*this);
    if (pipe.reentered()) {
        m_stopPending = true;  // completed by the output thread after the callback
        return BASS_OK;
    }
    completeStopLocked();
    return BASS_OK;
}

void Channel::completeStopLocked() {
    m_stopPending = false;
    Output* out = m_out.load();
    if (!out) return;
    const uint64_t heard = heardFrames(true);
    out->flush();
    out->setPaused(true);  // a stopped channel leaves the server idle
    // What was decoded but not heard is decoded again on the next play.
    if (m_source->seek(heard) || !lengthFrames()) m_srcPos = heard;
    if (heard < m_srcPos) m_ended = false;
    m_history.clear();
}

uint64_t Channel::heardFrames(bool live) {
    const uint64_t decoded = m_srcPos.load();
    Output* out = m_out.load();
    if (!out || !live) return decoded;
    const uint64_t queued = out->queuedFrames();
    return decoded > queued ? decoded - queued : 0;
}

std::optional<uint64_t> Channel::lengthFrames() const {
    return m_net ? m_net->lengthFrames() : m_lengthFrames;
}

int Channel::length(QWORD& bytes) {
    const auto frames = lengthFrames();
    if (!frames) return BASS_ERROR_NOTAVAIL;
    bytes = *frames * m_format.bytesPerFrame();
    return BASS_OK;
}

int Channel::position(QWORD& bytes) {
    bytes = heardFrames(m_play.load() != State::Stopped) * m_format.bytesPerFrame();
    return BASS_OK;
}

int Channel::setPosition(QWORD bytes) {
    const uint64_t frame = bytes / m_format.bytesPerFrame();
    if (const auto frames = lengthFrames(); frames && frame > *frames) return BASS_ERROR_POSITION;
    PipeLock pipe(*this);
    if (pipe.reentered()) return BASS_ERROR_NOTAVAIL;
    if (!m_source->seek(frame)) return BASS_ERROR_POSITION;
    if (Output* out = m_out.load()) out->flush();
    m_srcPos = frame;
    m_ended = false;
    m_endRaised = false;
    m_history.clear();
    return BASS_OK;
}

int Channel::filePosition(DWORD mode, QWORD& out) {
    if (!m_isFile) return BASS_ERROR_NOTFILE;
    if (m_net) return m_net->filePosition(mode, out);
    PipeLock pipe(*this);
    switch (mode) {
        case BASS_FILEPOS_CURRENT:
            out = m_source->fileBytePosition().value_or(0);
            return BASS_OK;
        case BASS_FILEPOS_DOWNLOAD:  // a local file is entirely available
        case BASS_FILEPOS_END:
            out = m_source->fileSize().value_or(0);
            return BASS_OK;
        case BASS_FILEPOS_START:
            out = 0;
            return BASS_OK;
        default:
            return BASS_ERROR_NOTAVAIL;
    }
}

size_t Channel::pullLocked(float* out, size_t frames) {
    const uint32_t ch = m_format.channels;
    size_t total = 0;
    bool loopedEmpty = false;
    while (total < frames && !m_ended) {
        bool ended = false;
        const size_t n = m_source->read(out + total * ch, frames - total, ended);
        total += n;
        m_srcPos += n;
        if (ended) {
            if ((m_flags & BASS_SAMPLE_LOOP) && !loopedEmpty && m_source->seek(0)) {
                // A stream that yields nothing after a restart must not spin.
                loopedEmpty = (n == 0);
                m_srcPos = 0;
                raise(BASS_SYNC_END, 0);
                continue;
            }
            m_ended = true;
            break;
        }
        if (n == 0) break;  // a user stream with nothing for now
        loopedEmpty = false;
    }
    if (m_ended && isDecoding() && !m_endRaised.exchange(true)) raise(BASS_SYNC_END, 0);
    return total;
}

int Channel::getData(void* buffer, DWORD length, DWORD& result) {
    if (length != BASS_DATA_AVAILABLE && !buffer) return BASS_ERROR_ILLPARAM;
    if ((length & 0x80000000u) && fftPoints(length) == 0) return BASS_ERROR_ILLPARAM;
    return isDecoding() ? getDecodedData(buffer, length, result) : getPlayedData(buffer, length, result);
}

int Channel::getDecodedData(void* buffer, DWORD length, DWORD& result) {
    if (length == BASS_DATA_AVAILABLE) {
        result = 0;  // nothing is buffered ahead on a decoding channel
        return BASS_OK;
    }
    const uint32_t ch = m_format.channels;
    PipeLock pipe(*this);
    if (pipe.reentered()) return BASS_ERROR_NOTAVAIL;
    if (const uint32_t points = fftPoints(length)) {
        m_scratch.assign(size_t(points) * ch, 0.0f);
        const size_t got = pullLocked(m_scratch.data(), points);
        if (got == 0 && m_ended) return BASS_ERROR_ENDED;
        computeSpectrum(m_scratch.data(), points, ch, (length & BASS_DATA_FFT_INDIVIDUAL) != 0,
                        (length & BASS_DATA_FFT_NOWINDOW) == 0, static_cast<float*>(buffer));
        result = DWORD(got * m_format.bytesPerFrame());
        return BASS_OK;
    }
    const bool asFloat = (length & BASS_DATA_FLOAT) != 0;
    const uint32_t sampleBytes = asFloat ? 4 : m_format.bytesPerSample;
    const size_t frameBytes = size_t(sampleBytes) * ch;
    const size_t frames = (length & ~BASS_DATA_FLOAT) / frameBytes;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    if (m_scratch.size() < kDecodeStep * ch) m_scratch.resize(kDecodeStep * ch);
    while (total < frames) {
        const size_t want = std::min(kDecodeStep, frames - total);
        const size_t got = pullLocked(m_scratch.data(), want);
        floatToSamples(m_scratch.data(), got * ch, sampleBytes, out + total * frameBytes);
        total += got;
        if (got < want) break;
    }
    if (total == 0 && frames > 0 && m_ended) return BASS_ERROR_ENDED;
    result = DWORD(total * frameBytes);
    return BASS_OK;
}

int Channel::setAttribute(DWORD attrib, float value) {
    if (attrib != BASS_ATTRIB_VOL && attrib != BASS_ATTRIB_PAN) return BASS_ERROR_ILLTYPE;
    m_env.slides->finish(this, attrib, false);
    setSlidValue(attrib, value);
    return BASS_OK;
}

int Channel::slideAttribute(DWORD attrib, float value, DWORD ms) {
    if (attrib != BASS_ATTRIB_VOL && attrib != BASS_ATTRIB_PAN) return BASS_ERROR_ILLTYPE;
    const float from = attrib == BASS_ATTRIB_VOL ? m_volume.load() : m_pan.load();
    const float to =
        attrib == BASS_ATTRIB_VOL ? std::clamp(value, 0.0f, 1.0f) : std::clamp(value, -1.0f, 1.0f);
    m_env.slides->slide(shared_from_this(), attrib, from, to, ms);
    return BASS_OK;
}

void Channel::setSlidValue(DWORD attrib, float value) {
    if (attrib == BASS_ATTRIB_VOL) {
        m_volume = std::clamp(value, 0.0f, 1.0f);
    } else if (attrib == BASS_ATTRIB_PAN) {
        m_pan = std::clamp(value, -1.0f, 1.0f);
    }
}

void Channel::slideEnded(DWORD attrib) {
    raise(BASS_SYNC_SLIDE, attrib);
}

int Channel::setSync(DWORD type, QWORD param, SYNCPROC proc, void* user, HSYNC& out) {
    if (!proc) return BASS_ERROR_ILLPARAM;
    if (!isSupportedSyncType(type)) return BASS_ERROR_ILLTYPE;
    out = m_syncs.add(type, param, proc, user);
    return BASS_OK;
}

int Channel::removeSync(HSYNC sync) {
    return m_syncs.remove(sync) ? BASS_OK : BASS_ERROR_HANDLE;
}

void Channel::raise(DWORD type, DWORD data) {
    m_syncs.fire(*m_env.syncs, m_handle, type, data);
}

void Channel::free() {
    std::thread thread;
    Output* out = nullptr;
    {
        quillet::MutexLock lock(m_state);
        if (m_freed) return;
        m_freed = true;
        m_quit = true;
        m_play = State::Stopped;
        ++m_generation;
        thread = std::move(m_thread);
        out = m_output.get();
    }
    m_wake.notify_all();
    if (m_net) {
        m_net->setEvents(nullptr);
        m_net->abort();  // a read waiting for the network returns now
    }
    if (out) out->interrupt();
    m_env.slides->finish(this, 0, true);
    raise(BASS_SYNC_FREE, 0);
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // freed from its own callback: the thread ends when that returns
        } else {
            thread.join();  // returns once a running callback has
        }
    }
    PipeLock pipe(*this);  // a decoding channel's callback running on another thread
}

}  // namespace qaudio
