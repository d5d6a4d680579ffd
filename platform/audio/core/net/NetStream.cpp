#include "platform/audio/core/net/NetStream.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace qaudio::net {

namespace {

using Clock = std::chrono::steady_clock;

// What a live stream keeps behind the reader: decoders look back a little
// (a frame header, an Ogg page being resynchronised), never further.
constexpr uint64_t kKeepBehind = 64 * 1024;
// Bit rate assumed for the network buffer until the stream tells its own.
constexpr uint32_t kDefaultKbps = 128;
constexpr uint64_t kMinBufferBytes = 16 * 1024;
constexpr uint64_t kMaxBufferBytes = 4 << 20;
// Redirects followed before the request fails.
constexpr long kMaxRedirects = 5;

std::once_flag g_curlInit;

size_t headerCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<NetStream*>(self)->onHeaderThunk(data, size * count);
}

size_t bodyCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<NetStream*>(self)->onBodyThunk(data, size * count);
}

}  // namespace

void NetStream::SlistDeleter::operator()(::curl_slist* list) const {
    curl_slist_free_all(list);
}

NetStream::NetStream(std::string url, uint64_t offset, const NetConfig& config, DOWNLOADPROC proc, void* user)
    : m_url(std::move(url)), m_offset(offset), m_config(config), m_proc(proc), m_user(user) {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_bufferBytes = uint64_t(kDefaultKbps) * 125 * m_config.bufferMs / 1000;
    m_multi = curl_multi_init();
    if (!m_multi) {
        finish(false, BASS_ERROR_MEM);
        return;
    }
    m_thread = std::thread([this] { run(); });
}

NetStream::~NetStream() {
    stop();
    if (m_multi) curl_multi_cleanup(static_cast<CURLM*>(m_multi));
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
    if (m_multi) curl_multi_wakeup(static_cast<CURLM*>(m_multi));
    std::lock_guard lock(m_mutex);
    m_cv.notify_all();
}

bool NetStream::setup(void* handle) {
    CURL* easy = static_cast<CURL*>(handle);
    // Shoutcast servers answer "ICY 200 OK", which is not HTTP.
    m_aliases.reset(curl_slist_append(nullptr, "ICY"));
    m_request.reset(curl_slist_append(nullptr, "Icy-MetaData: 1"));
    if (!m_aliases || !m_request) return false;
    curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, m_aliases.get());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_request.get());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Quillet/2.10");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_config.connectTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, headerCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, bodyCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    if (m_offset > 0) curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, curl_off_t(m_offset));
    return true;
}

void NetStream::run() {
    struct EasyDeleter {
        void operator()(CURL* e) const { curl_easy_cleanup(e); }
    };
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    CURLM* multi = static_cast<CURLM*>(m_multi);
    if (!easy || !setup(easy.get()) || curl_multi_add_handle(multi, easy.get()) != CURLM_OK) {
        finish(false, BASS_ERROR_MEM);
        return;
    }
    m_lastData = Clock::now();
    const auto stall = std::chrono::milliseconds(m_config.stallTimeoutMs);
    int running = 1;
    while (!m_abort) {
        if (m_paused) {
            bool room;
            {
                std::lock_guard lock(m_mutex);
                room = roomAhead();
            }
            if (room) {
                m_paused = false;
                m_lastData = Clock::now();  // the pause was ours, not the server's
                curl_easy_pause(easy.get(), CURLPAUSE_CONT);
            }
        }
        if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0) break;
        if (!m_paused && Clock::now() - m_lastData > stall) {
            finish(false, BASS_ERROR_TIMEOUT);
            break;
        }
        curl_multi_poll(multi, nullptr, 0, m_paused ? 20 : 100, nullptr);
    }
    if (!m_abort && running == 0) {
        int left = 0;
        CURLcode result = CURLE_FAILED_INIT;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE) result = msg->data.result;
        if (result == CURLE_OK) {
            finish(true, BASS_OK);
        } else {
            finish(false, result == CURLE_OPERATION_TIMEDOUT ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEOPEN);
        }
    } else if (m_abort) {
        finish(false, BASS_ERROR_ENDED);
    }
    curl_multi_remove_handle(multi, easy.get());
}

size_t NetStream::onHeaderThunk(const char* data, size_t size) {
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

size_t NetStream::onBodyThunk(const char* data, size_t size) {
    m_lastData = Clock::now();
    {
        std::lock_guard lock(m_mutex);
        if (!m_headDone) return 0;  // a body without a head: not a server we understand
        if (!roomAhead()) {
            m_paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
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
