#include "platform/audio/core/net/NetStream.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/log/Log.h"

namespace qaudio::net {

namespace {

// What a live stream keeps behind the reader: decoders look back a little
// (a frame header, an Ogg page being resynchronised), never further.
constexpr uint64_t kKeepBehind = 64 * 1024;
// Bit rate assumed for the network buffer until the stream tells its own.
constexpr uint32_t kDefaultKbps = 128;
constexpr uint64_t kMinBufferBytes = 16 * 1024;
constexpr uint64_t kMaxBufferBytes = 4 << 20;

// The folder the core was loaded from (libbass.so's, or a test program's),
// with a trailing '/'.
std::string ownFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ownFolder), &info) || !info.dli_fname) return "";
    const std::string path = info.dli_fname;
    return path.substr(0, path.rfind('/') + 1);
}

// The transport's entry, loaded on the first download from the core's own
// folder; nullptr when it is missing. It is never unloaded: transfers may
// still run while the process exits.
qnet_open_t transport() {
    static const qnet_open_t entry = []() -> qnet_open_t {
        const std::string path = ownFolder() + QNET_TRANSPORT_LIBRARY;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            quillet::log::write("audio", std::string("no URL streams: ") + (why ? why : path));
            return nullptr;
        }
        auto open = reinterpret_cast<qnet_open_t>(dlsym(handle, "qnet_open"));
        if (!open) {
            quillet::log::write("audio", "no URL streams: " + path + " has no qnet_open");
            dlclose(handle);
        }
        return open;
    }();
    return entry;
}

}  // namespace

NetStream::NetStream(std::string url, uint64_t offset, const NetConfig& config, DOWNLOADPROC proc, void* user)
    : m_url(std::move(url)), m_offset(offset), m_config(config), m_proc(proc), m_user(user) {
    m_bufferBytes = uint64_t(kDefaultKbps) * 125 * m_config.bufferMs / 1000;
    const qnet_open_t open = transport();
    if (!open) {
        finish(false, BASS_ERROR_NONET);
        return;
    }
    TransferRequest request;
    request.url = m_url.c_str();
    request.offset = m_offset;
    request.connectTimeoutMs = m_config.connectTimeoutMs;
    request.stallTimeoutMs = m_config.stallTimeoutMs;
    m_transfer.reset(open(&request));
    if (!m_transfer) {
        finish(false, BASS_ERROR_MEM);
        return;
    }
    m_thread = std::thread([this] { run(); });
}

NetStream::~NetStream() {
    stop();
}

void NetStream::stop() {
    abort();
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

void NetStream::abort() {
    m_abort = true;
    if (m_transfer) m_transfer->wakeup();
    std::lock_guard lock(m_mutex);
    m_cv.notify_all();
}

void NetStream::run() {
    const int result = m_transfer->run(*this);
    finish(result == BASS_OK, result);
}

bool NetStream::resumable() {
    std::lock_guard lock(m_mutex);
    return roomAhead();
}

size_t NetStream::onHeader(const char* data, size_t size) {
    std::unique_lock lock(m_mutex);
    if (m_headDone) return size;  // trailers
    const auto step = m_parser.addLine(std::string_view(data, size));
    if (step == HeadParser::Step::Bad) {
        lock.unlock();
        finish(false, BASS_ERROR_FILEFORM);
        return 0;
    }
    if (step == HeadParser::Step::More) return size;
    const ResponseHead& head = m_parser.head();
    if ((head.status >= 300 && head.status < 400) || (head.status >= 100 && head.status < 200)) {
        return size;  // a redirect (followed) or an interim answer: another block follows
    }
    if (head.status < 200 || head.status >= 300) {
        lock.unlock();
        finish(false, BASS_ERROR_FILEOPEN);
        return 0;
    }
    m_head = head;
    m_headDone = true;
    m_keepAll = head.contentLength ? *head.contentLength <= kMaxKeptBytes : !head.radio;
    if (head.metaInterval) m_demuxer.emplace(head.metaInterval);
    if (head.bitrateKbps) m_bufferBytes = uint64_t(head.bitrateKbps) * 125 * m_config.bufferMs / 1000;
    m_bufferBytes = std::clamp(m_bufferBytes, kMinBufferBytes, kMaxBufferBytes);
    m_cv.notify_all();
    return size;
}

size_t NetStream::onBody(const char* data, size_t size) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_headDone) return 0;  // a body without a head: not a server we understand
        if (!roomAhead()) return kPause;
        const auto audio = [this](std::string_view bytes) {
            m_data.insert(m_data.end(), bytes.begin(), bytes.end());
        };
        const auto meta = [this](std::string_view text) {
            if (m_meta.size() >= kMaxPendingMeta) m_meta.pop_front();
            m_meta.emplace_back(m_base + m_data.size(), std::string(text));
        };
        if (m_demuxer) {
            m_demuxer->feed(std::string_view(data, size), audio, meta);
        } else {
            audio(std::string_view(data, size));
        }
        if (m_keepAll && m_base + m_data.size() > kMaxKeptBytes) m_keepAll = false;
        trimLocked();
        m_cv.notify_all();
    }
    if (m_proc) m_proc(data, DWORD(size), m_user);
    return size;
}

void NetStream::finish(bool ok, int error) {
    std::function<void()> prepare, announce;
    {
        std::lock_guard lock(m_mutex);
        if (m_arrived || m_failed) return;
        m_arrived = ok;
        m_failed = !ok;
        m_error = error;
        m_hookTaken = true;
        if (ok) {
            prepare = m_prepare;
            announce = m_announce;
        }
        m_cv.notify_all();
    }
    if (prepare) prepare();
    if (ok) {
        std::lock_guard lock(m_mutex);
        m_complete = true;
    }
    if (announce) announce();
    if (m_proc) m_proc(nullptr, 0, m_user);
}

bool NetStream::waitHead(int& error) {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return m_headDone || m_failed || m_abort; });
    error = m_failed ? m_error : m_headDone ? BASS_OK : BASS_ERROR_ENDED;
    return m_headDone && !m_abort;
}

ResponseHead NetStream::head() const {
    std::lock_guard lock(m_mutex);
    return m_head;
}

size_t NetStream::read(uint64_t offset, void* out, size_t count, size_t atLeast) {
    const uint64_t want = offset + std::clamp<size_t>(atLeast, 1, std::max<size_t>(count, 1));
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return want <= m_base + m_data.size() || m_arrived || m_failed || m_abort; });
    if (m_abort || offset < m_base || offset >= m_base + m_data.size()) return 0;
    const size_t n = std::min<uint64_t>(count, m_base + m_data.size() - offset);
    std::memcpy(out, m_data.data() + (offset - m_base), n);
    return n;
}

bool NetStream::waitFor(uint64_t offset) {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return offset <= m_base + m_data.size() || m_arrived || m_failed || m_abort; });
    return !m_abort && offset <= m_base + m_data.size();
}

void NetStream::consumed(uint64_t offset) {
    std::lock_guard lock(m_mutex);
    m_reader = std::max(m_reader, offset);
    trimLocked();
}

std::vector<std::string> NetStream::takeMeta(uint64_t offset) {
    std::vector<std::string> texts;
    std::lock_guard lock(m_mutex);
    while (!m_meta.empty() && m_meta.front().first <= offset) {
        texts.push_back(std::move(m_meta.front().second));
        m_meta.pop_front();
    }
    return texts;
}

void NetStream::release() {
    std::lock_guard lock(m_mutex);
    m_pinned = false;
    trimLocked();
}

void NetStream::trimLocked() {
    if (m_keepAll || m_pinned || m_reader < m_base + kKeepBehind) return;
    const uint64_t drop = std::min<uint64_t>(m_reader - kKeepBehind - m_base, m_data.size());
    // Erase in large steps so the copying stays cheap.
    if (drop < 256 * 1024 && drop < m_data.size() / 2) return;
    m_data.erase(m_data.begin(), m_data.begin() + long(drop));
    m_base += drop;
}

bool NetStream::roomAhead() const {
    return m_keepAll || m_base + m_data.size() < m_reader + m_bufferBytes;
}

uint64_t NetStream::downloaded() const {
    std::lock_guard lock(m_mutex);
    return m_base + m_data.size();
}

std::optional<uint64_t> NetStream::totalSize() const {
    std::lock_guard lock(m_mutex);
    if (m_complete) return m_base + m_data.size();
    return m_head.contentLength;
}

std::optional<uint64_t> NetStream::dataSize() const {
    std::lock_guard lock(m_mutex);
    if (m_arrived) return m_base + m_data.size();
    return m_head.contentLength;
}

bool NetStream::finished() const {
    std::lock_guard lock(m_mutex);
    return m_arrived || m_failed || m_abort;
}

uint64_t NetStream::bufferBytes() const {
    std::lock_guard lock(m_mutex);
    return m_bufferBytes;
}

void NetStream::setBufferBitrate(uint32_t kbps) {
    std::lock_guard lock(m_mutex);
    if (m_head.bitrateKbps || kbps == 0) return;  // the server's own figure stays
    m_bufferBytes =
        std::clamp(uint64_t(kbps) * 125 * m_config.bufferMs / 1000, kMinBufferBytes, kMaxBufferBytes);
}

bool NetStream::complete() const {
    std::lock_guard lock(m_mutex);
    return m_complete;
}

bool NetStream::failed() const {
    std::lock_guard lock(m_mutex);
    return m_failed || m_abort;
}

bool NetStream::keptWhole() const {
    std::lock_guard lock(m_mutex);
    return m_arrived && m_base == 0 && m_keepAll;
}

bool NetStream::setOnComplete(std::function<void()> prepare, std::function<void()> announce) {
    std::lock_guard lock(m_mutex);
    if (m_hookTaken) return false;
    m_prepare = std::move(prepare);
    m_announce = std::move(announce);
    return true;
}

}  // namespace qaudio::net
