#include "platform/audio/core/Library.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/audio/core/ClockOutput.h"
#include "platform/audio/core/Source.h"
#if defined(QUILLET_AUDIO_HAVE_NET)
#include "platform/audio/core/net/NetSource.h"
#endif

namespace qaudio {

namespace {

// Largest in-memory file BASS_StreamCreateFile(mem=TRUE) accepts: a bound on
// what a caller's length can make the library copy.
constexpr QWORD kMaxMemoryFile = QWORD(1) << 31;

// Closes a file descriptor.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

Library& Library::instance() {
    static Library library;
    return library;
}

Library::Library() {
    m_env.syncs = &m_syncs;
    m_env.slides = &m_slides;
    m_env.openOutput = [this](const SampleFormat& f) { return openOutput(f); };
    m_env.streamVolume = &m_streamVolume;
    m_env.musicVolume = &m_musicVolume;
    m_env.freeHandle = [this](DWORD h) {
        if (auto c = m_handles.take(h)) c->free();
    };
    registerBuiltinFormats(m_decoders);
}

Library::~Library() {
    free();
    freePlugin(0);
}

int Library::init(int device, DWORD freq) {
    if (device == -1) device = BASS_DEVICE_DEFAULT;
    if (device != BASS_DEVICE_NOSOUND && device != BASS_DEVICE_DEFAULT) return BASS_ERROR_DEVICE;
    std::lock_guard lock(m_deviceMutex);
    if (m_device.load() >= 0) return BASS_ERROR_ALREADY;
    if (device == BASS_DEVICE_DEFAULT) {
        m_pulse = PulseDevice::connect();
        if (!m_pulse) return BASS_ERROR_DRIVER;
    }
    m_freq = freq ? freq : 44100;
    m_syncs.start();
    m_slides.start();
    m_device = device;
    return BASS_OK;
}

int Library::free() {
    {
        std::lock_guard lock(m_deviceMutex);
        if (m_device.load() < 0) return BASS_ERROR_INIT;
        m_device = -1;
    }
    for (auto& channel : m_handles.takeAll()) channel->free();
    m_slides.stop();  // ends what is left, with its syncs
    m_syncs.stop();   // runs the syncs still queued
    std::lock_guard lock(m_deviceMutex);
    m_pulse.reset();  // the connection closes when the last output has gone
    return BASS_OK;
}

int Library::getInfo(BASS_INFO& info) {
    std::lock_guard lock(m_deviceMutex);
    if (m_device.load() < 0) return BASS_ERROR_INIT;
    info = BASS_INFO{};
    info.minrate = 1;
    info.maxrate = kMaxRate;
    info.minbuf = kMinQueueMs;
    // The sound-system version: the server's protocol version on device 1,
    // at least 8 (every feature callers may gate on that number is there).
    info.dsver = std::max<DWORD>(8, m_pulse ? m_pulse->serverVersion() : 9);
    info.latency = queueTargetMs(m_bufferMs);
    info.speakers = 2;
    info.freq = m_freq;
    return BASS_OK;
}

int Library::setConfig(DWORD option, DWORD value) {
    switch (option) {
        case BASS_CONFIG_BUFFER:
            m_bufferMs = std::clamp<DWORD>(value, 10, 5000);
            return BASS_OK;
        case BASS_CONFIG_GVOL_STREAM:
        case BASS_CONFIG_GVOL_MUSIC:
            if (value > 10000) return BASS_ERROR_ILLPARAM;
            (option == BASS_CONFIG_GVOL_STREAM ? m_streamVolume : m_musicVolume) = value;
            return BASS_OK;
        default: {
            std::lock_guard lock(m_configMutex);
            m_otherConfig[option] = value;
            return BASS_OK;
        }
    }
}

std::unique_ptr<Output> Library::openOutput(const SampleFormat& format) {
    std::shared_ptr<PulseDevice> pulse;
    int device;
    {
        std::lock_guard lock(m_deviceMutex);
        device = m_device;
        pulse = m_pulse;
    }
    const uint32_t target = queueTargetMs(m_bufferMs);
    if (device == BASS_DEVICE_NOSOUND) return std::make_unique<ClockOutput>(format.rate, target);
    if (pulse) return pulse->openOutput(format, target);
    return nullptr;
}

DWORD Library::addChannel(ChannelSetup setup) {
    const DWORD handle = setup.handle;
    auto channel = std::make_shared<Channel>(m_env, std::move(setup));
    m_handles.insert(handle, std::move(channel));
    return handle;
}

int Library::createDecoderStream(OpenedDecoder opened, const std::string& name, DWORD flags, bool music,
                                 DWORD& handle) {
    if (!initialised()) return BASS_ERROR_INIT;
    if (!opened.decoder) return BASS_ERROR_FILEFORM;
    SampleFormat format{opened.decoder->sampleRate(), opened.decoder->channels(),
                        SampleFormat::bytesPerSampleFor(flags)};
    if (!isValid(format)) return BASS_ERROR_FORMAT;
    ChannelSetup setup;
    setup.handle = m_handles.reserve();
    setup.source = std::make_unique<DecoderSource>(std::move(opened.decoder));
    setup.format = format;
    setup.flags = flags;
    setup.music = music;
    setup.fileName = name;
    setup.plugin = opened.plugin;
    setup.keepAlive = std::move(opened.keepAlive);
    handle = addChannel(std::move(setup));
    return BASS_OK;
}

int Library::createFileStream(const std::string& path, DWORD flags, bool music, DWORD& handle) {
    if (!initialised()) return BASS_ERROR_INIT;
    if (flags & BASS_UNICODE) return BASS_ERROR_NOTAVAIL;  // names are UTF-8 on this system
    {
        // A file that cannot be read is reported as such, not as an unknown format.
        FdCloser probe{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
        struct stat st;
        if (probe.fd < 0 || ::fstat(probe.fd, &st) != 0 || !S_ISREG(st.st_mode)) return BASS_ERROR_FILEOPEN;
    }
    OpenedDecoder opened = m_decoders.open(path, flags, music);
    if (!opened.decoder) return BASS_ERROR_FILEFORM;
    return createDecoderStream(std::move(opened), path, flags, music, handle);
}

int Library::createMemoryStream(const void* data, QWORD length, DWORD flags, bool music, DWORD& handle) {
    if (!initialised()) return BASS_ERROR_INIT;
    if (!data || length == 0 || length > kMaxMemoryFile) return BASS_ERROR_ILLPARAM;
    // The decoders read files by name: the bytes become an anonymous file,
    // opened through its /proc path. The decoder keeps its own descriptor.
    FdCloser fd{memfd_create("quillet-memory-stream", MFD_CLOEXEC)};
    if (fd.fd < 0) return BASS_ERROR_MEM;
    const auto* p = static_cast<const uint8_t*>(data);
    for (QWORD done = 0; done < length;) {
        const ssize_t n = ::write(fd.fd, p + done, size_t(length - done));
        if (n <= 0) return BASS_ERROR_MEM;
        done += QWORD(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd.fd);
    OpenedDecoder opened = m_decoders.open(path, flags, music);
    if (!opened.decoder) return BASS_ERROR_FILEFORM;
    return createDecoderStream(std::move(opened), "", flags, music, handle);
}

DWORD Library::configValue(DWORD option, DWORD fallback) {
    std::lock_guard lock(m_configMutex);
    const auto it = m_otherConfig.find(option);
    return it == m_otherConfig.end() ? fallback : it->second;
}

#if defined(QUILLET_AUDIO_HAVE_NET)
namespace {

// Streams a playlist may list that are tried in turn.
constexpr size_t kMaxPlaylistEntries = 16;

// The body of a small download (a playlist file), up to `cap` bytes.
std::string readSmallBody(net::NetStream& stream, size_t cap) {
    std::string text(cap, '\0');
    size_t got = 0;
    while (got < cap) {
        const size_t n = stream.read(got, text.data() + got, cap - got);
        if (n == 0) break;
        got += n;
    }
    text.resize(got);
    return text;
}

}  // namespace
#endif

int Library::createUrlStream(const std::string& url, QWORD offset, DWORD flags, DOWNLOADPROC proc, void* user,
                             DWORD& handle) {
    if (!initialised()) return BASS_ERROR_INIT;
    if (flags & BASS_UNICODE) return BASS_ERROR_NOTAVAIL;
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
        // Another scheme ("mms://"): an add-on whose decoder opens such names
        // (the WMA add-on) may take it; otherwise the URL cannot be opened.
        OpenedDecoder opened = m_decoders.open(url, flags, false);
        if (!opened.decoder) return BASS_ERROR_FILEOPEN;
        return createDecoderStream(std::move(opened), url, flags, false, handle);
    }
#if defined(QUILLET_AUDIO_HAVE_NET)
    net::NetConfig config;
    config.connectTimeoutMs = configValue(BASS_CONFIG_NET_TIMEOUT, config.connectTimeoutMs);
    config.stallTimeoutMs = configValue(BASS_CONFIG_NET_READTIMEOUT, config.stallTimeoutMs);
    config.bufferMs = std::clamp<DWORD>(configValue(BASS_CONFIG_NET_BUFFER, config.bufferMs), 500, 30000);
    const bool followPlaylists = configValue(BASS_CONFIG_NET_PLAYLIST, 0) != 0;

    // The URL itself, then what a playlist it names lists (one level deep).
    std::vector<std::string> candidates{url};
    int error = BASS_ERROR_FILEOPEN;
    for (size_t i = 0; i < candidates.size() && i <= kMaxPlaylistEntries; ++i) {
        const bool fromPlaylist = i > 0;
        const bool maybePlaylist = followPlaylists && !fromPlaylist;
        auto stream =
            std::make_shared<net::NetStream>(candidates[i], fromPlaylist ? 0 : offset, config,
                                             maybePlaylist && net::isPlaylistUrl(url) ? nullptr : proc, user);
        if (!stream->waitHead(error)) continue;
        if (maybePlaylist && (net::isPlaylistUrl(url) || net::isPlaylistType(stream->head().contentType))) {
            for (auto& entry : net::parsePlaylist(readSmallBody(*stream, net::kMaxPlaylistBytes)))
                candidates.push_back(std::move(entry));
            error = BASS_ERROR_FILEFORM;  // a playlist that lists nothing playable
            continue;
        }
        auto source = net::NetSource::open(stream, flags, error);
        if (!source) continue;
        SampleFormat format{source->sampleRate(), source->channels(), SampleFormat::bytesPerSampleFor(flags)};
        if (!isValid(format)) {
            error = BASS_ERROR_FORMAT;
            continue;
        }
        ChannelSetup setup;
        setup.handle = m_handles.reserve();
        setup.source = std::move(source);
        setup.format = format;
        setup.flags = flags;
        setup.fileName = candidates[i];
        handle = addChannel(std::move(setup));
        return BASS_OK;
    }
    return error;
#else
    (void)offset, (void)proc, (void)user;
    return BASS_ERROR_NONET;
#endif
}

int Library::createUserStream(DWORD freq, DWORD chans, DWORD flags, STREAMPROC proc, void* user,
                              DWORD& handle) {
    if (!initialised()) return BASS_ERROR_INIT;
    // The special callbacks (push streams, dummy streams) are not offered.
    if (!proc || reinterpret_cast<intptr_t>(proc) == -1) return BASS_ERROR_NOTAVAIL;
    SampleFormat format{freq, chans, SampleFormat::bytesPerSampleFor(flags)};
    if (!isValid(format)) return BASS_ERROR_FORMAT;
    auto source = std::make_unique<UserSource>(format, proc, user);
    ChannelSetup setup;
    setup.handle = m_handles.reserve();
    source->setHandle(setup.handle);
    setup.source = std::move(source);
    setup.format = format;
    setup.flags = flags;
    handle = addChannel(std::move(setup));
    return BASS_OK;
}

int Library::freeChannel(DWORD handle, bool music) {
    auto channel = m_handles.find(handle);
    if (!channel || channel->isMusic() != music) return BASS_ERROR_HANDLE;
    channel = m_handles.take(handle);
    if (!channel) return BASS_ERROR_HANDLE;  // freed meanwhile by another thread
    channel->free();
    return BASS_OK;
}

}  // namespace qaudio
