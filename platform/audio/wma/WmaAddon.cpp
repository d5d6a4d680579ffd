// libbasswma.so: the WMA/ASF add-on, attached with BASS_PluginLoad.
//
// It registers one decoder factory. Probing reads a file's first 16 bytes and
// only an ASF header makes it load the decoding half (libbasswma-ffmpeg.so,
// which brings FFmpeg), so a start and every non-ASF file cost no more than
// that. The decoding half stays loaded once it is.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "platform/audio/bass_plugin.h"
#include "platform/audio/wma/WmaBackend.h"

namespace {

// The folder this library was loaded from, with a trailing '/'.
std::string ownFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ownFolder), &info) || !info.dli_fname) return "";
    const std::string path = info.dli_fname;
    return path.substr(0, path.rfind('/') + 1);
}

// The decoding half, loaded on first use from this library's own folder.
// It is never unloaded: at exit, this library's destructors run before the
// core's, which may still free channels whose decoders live in it.
class Backend {
  public:
    bool load() {
        std::call_once(m_once, [this] {
            const std::string path = ownFolder() + QWMA_BACKEND_LIBRARY;
            void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) return;
            m_openFile = reinterpret_cast<qwma_open_file_t>(dlsym(handle, "qwma_open_file"));
            m_openUrl = reinterpret_cast<qwma_open_url_t>(dlsym(handle, "qwma_open_url"));
            if (!m_openFile || !m_openUrl) {
                dlclose(handle);
                m_openFile = nullptr;
                m_openUrl = nullptr;
                return;
            }
            m_handle = handle;
        });
        return m_handle != nullptr;
    }
    qwma_open_file_t openFile() const { return m_openFile; }
    qwma_open_url_t openUrl() const { return m_openUrl; }

  private:
    std::once_flag m_once;
    void* m_handle = nullptr;
    qwma_open_file_t m_openFile = nullptr;
    qwma_open_url_t m_openUrl = nullptr;
};

Backend g_backend;

bool startsWithAsfHeader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char head[qwma::kAsfGuidSize];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    return n == ssize_t(sizeof head) && qwma::isAsfHeader(head, sizeof head);
}

bool isNetworkName(const std::string& url) {
    for (const char* scheme : {"mms://", "mmsh://", "mmst://", "http://", "https://"}) {
        if (url.rfind(scheme, 0) == 0) return true;
    }
    return false;
}

class AsfFactory final : public qaudio::DecoderFactory {
  public:
    std::unique_ptr<qaudio::Decoder> open(const std::string& path, uint32_t flags) const override {
        if (!startsWithAsfHeader(path) || !g_backend.load()) return nullptr;
        return std::unique_ptr<qaudio::Decoder>(g_backend.openFile()(path.c_str(), flags));
    }
    std::unique_ptr<qaudio::Decoder> openUrl(const std::string& url, uint32_t flags) const override {
        if (!isNetworkName(url) || !g_backend.load()) return nullptr;
        return std::unique_ptr<qaudio::Decoder>(g_backend.openUrl()(url.c_str(), flags));
    }
};

const AsfFactory g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) int qaudio_plugin_register(const qaudio::PluginHost* host) {
    if (!host || host->abiVersion != qaudio::kPluginAbiVersion) return 0;
    host->addDecoder(host->context, &g_factory);
    return 1;
}
