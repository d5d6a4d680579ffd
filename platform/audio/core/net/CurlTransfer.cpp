// libbass-net.so: HTTP and HTTPS transfers over libcurl, one per URL stream,
// each run by the stream's download thread.
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "platform/audio/bass.h"
#include "platform/audio/core/net/Transfer.h"

namespace qaudio::net {
namespace {

using Clock = std::chrono::steady_clock;

// Redirects followed before the request fails.
constexpr long kMaxRedirects = 5;
// How long a poll waits before the abort flag and the pause are looked at again.
constexpr int kPollMs = 100;
constexpr int kPausedPollMs = 20;

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

class CurlTransfer final : public Transfer {
  public:
    // False when libcurl cannot give the handles (out of memory).
    bool setUp(const TransferRequest& request) {
        m_url = request.url ? request.url : "";
        m_stall = std::chrono::milliseconds(request.stallTimeoutMs);
        m_multi.reset(curl_multi_init());
        m_easy.reset(curl_easy_init());
        // Shoutcast servers answer "ICY 200 OK", which is not HTTP.
        m_aliases.reset(curl_slist_append(nullptr, "ICY"));
        m_request.reset(curl_slist_append(nullptr, "Icy-MetaData: 1"));
        if (!m_multi || !m_easy || !m_aliases || !m_request) return false;
        CURL* easy = m_easy.get();
        curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, m_aliases.get());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_request.get());
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Quillet/2.10");
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(request.connectTimeoutMs));
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, headerCallback);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, bodyCallback);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        if (request.offset > 0) curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, curl_off_t(request.offset));
        return true;
    }

    int run(TransferSink& sink) override {
        CURLM* multi = m_multi.get();
        CURL* easy = m_easy.get();
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) return BASS_ERROR_MEM;
        m_sink = &sink;
        m_lastData = Clock::now();
        int result = BASS_ERROR_ENDED;
        while (!sink.aborted()) {
            if (m_paused && sink.resumable()) {
                m_paused = false;
                m_lastData = Clock::now();  // the pause was ours, not the server's
                curl_easy_pause(easy, CURLPAUSE_CONT);
            }
            int running = 1;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                result = BASS_ERROR_FILEOPEN;
                break;
            }
            if (running == 0) {
                result = outcome();
                break;
            }
            if (!m_paused && Clock::now() - m_lastData > m_stall) {
                result = BASS_ERROR_TIMEOUT;
                break;
            }
            curl_multi_poll(multi, nullptr, 0, m_paused ? kPausedPollMs : kPollMs, nullptr);
        }
        curl_multi_remove_handle(multi, easy);
        m_sink = nullptr;
        return sink.aborted() ? BASS_ERROR_ENDED : result;
    }

    void wakeup() override { curl_multi_wakeup(m_multi.get()); }

  private:
    int outcome() {
        int left = 0;
        CURLcode code = CURLE_FAILED_INIT;
        while (CURLMsg* msg = curl_multi_info_read(m_multi.get(), &left))
            if (msg->msg == CURLMSG_DONE) code = msg->data.result;
        if (code == CURLE_OK) return BASS_OK;
        return code == CURLE_OPERATION_TIMEDOUT ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEOPEN;
    }

    static size_t headerCallback(char* data, size_t size, size_t count, void* self) {
        return static_cast<CurlTransfer*>(self)->m_sink->onHeader(data, size * count);
    }

    static size_t bodyCallback(char* data, size_t size, size_t count, void* self) {
        auto* transfer = static_cast<CurlTransfer*>(self);
        transfer->m_lastData = Clock::now();
        const size_t taken = transfer->m_sink->onBody(data, size * count);
        if (taken != TransferSink::kPause) return taken;
        transfer->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }

    std::string m_url;
    Clock::duration m_stall{};
    std::unique_ptr<CURLM, MultiDeleter> m_multi;
    std::unique_ptr<CURL, EasyDeleter> m_easy;
    std::unique_ptr<curl_slist, SlistDeleter> m_aliases;
    std::unique_ptr<curl_slist, SlistDeleter> m_request;
    // The thread in run() only.
    TransferSink* m_sink = nullptr;
    bool m_paused = false;
    Clock::time_point m_lastData;
};

}  // namespace
}  // namespace qaudio::net

extern "C" __attribute__((visibility("default"))) qaudio::net::Transfer* qnet_open(
    const qaudio::net::TransferRequest* request) {
    static std::once_flag curlInit;
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto transfer = std::unique_ptr<qaudio::net::CurlTransfer>(new (std::nothrow) qaudio::net::CurlTransfer);
    if (!transfer || !transfer->setUp(*request)) return nullptr;
    return transfer.release();
}
