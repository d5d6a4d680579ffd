// The audio library loads its HTTP transport (libbass-net.so, with libcurl)
// only when the first URL is opened, and opens no URL without it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "platform/audio/bass.h"
#include "tests/net/NetServer.h"

namespace fs = std::filesystem;

namespace {

fs::path binDir() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// Whether a file whose name starts with `prefix` is mapped in this process.
bool mapped(const std::string& prefix) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("/" + prefix) != std::string::npos) return true;
    return false;
}

// One copy of libbass.so, opened with dlopen as the player opens it.
class Bass {
  public:
    explicit Bass(const fs::path& path) : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~Bass() {
        if (!m_handle) return;
        if (auto freeAll = get<decltype(&BASS_Free)>("BASS_Free")) freeAll();
        // Left loaded: its transport, once loaded, stays for the process.
    }
    Bass(const Bass&) = delete;
    Bass& operator=(const Bass&) = delete;

    bool loaded() const { return m_handle != nullptr; }
    bool init() {
        auto fn = get<decltype(&BASS_Init)>("BASS_Init");
        auto config = get<decltype(&BASS_SetConfig)>("BASS_SetConfig");
        return fn && config && fn(0, 44100, 0, nullptr, nullptr) && config(BASS_CONFIG_NET_TIMEOUT, 3000);
    }
    // The stream's handle (freed at once) or 0, and the error code.
    std::pair<bool, int> openUrl(const std::string& url) {
        auto create = get<decltype(&BASS_StreamCreateURL)>("BASS_StreamCreateURL");
        auto error = get<decltype(&BASS_ErrorGetCode)>("BASS_ErrorGetCode");
        auto freeStream = get<decltype(&BASS_StreamFree)>("BASS_StreamFree");
        if (!create || !error || !freeStream) return {false, BASS_ERROR_UNKNOWN};
        const HSTREAM h = create(url.c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
        const int code = error();
        if (h) freeStream(h);
        return {h != 0, code};
    }

  private:
    template <typename F>
    F get(const char* name) {
        return reinterpret_cast<F>(dlsym(m_handle, name));
    }
    void* m_handle;
};

TEST(NetTransportLoad, TheTransportAndLibcurlAreMappedOnlyOnceAUrlIsOpened) {
    NetServer server;
    Bass bass(binDir() / "libbass.so");
    ASSERT_TRUE(bass.loaded()) << dlerror();
    ASSERT_TRUE(bass.init());
    EXPECT_FALSE(mapped("libcurl")) << "loading the audio library brought libcurl";
    EXPECT_FALSE(mapped("libbass-net.so"));

    const auto [opened, error] = bass.openUrl(server.url("/files/file.mp3"));
    EXPECT_TRUE(opened) << "error " << error;
    EXPECT_TRUE(mapped("libbass-net.so"));
    EXPECT_TRUE(mapped("libcurl"));
    // A second stream reuses the loaded transport; a refused one still fails plainly.
    EXPECT_TRUE(bass.openUrl(server.url("/radio?burst=1")).first);
    const auto refused = bass.openUrl("http://127.0.0.1:1/nothing.mp3");
    EXPECT_FALSE(refused.first);
    EXPECT_EQ(refused.second, BASS_ERROR_FILEOPEN);
}

TEST(NetTransportLoad, WithoutTheTransportEveryUrlFailsWithNoNet) {
    char tmpl[] = "/tmp/quillet-net-load-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path folder = tmpl;
    fs::copy_file(binDir() / "libbass.so", folder / "libbass.so");
    {
        Bass bass(folder / "libbass.so");
        ASSERT_TRUE(bass.loaded()) << dlerror();
        ASSERT_TRUE(bass.init());
        for (const char* url : {"http://127.0.0.1:1/a.mp3", "https://127.0.0.1:1/b.ogg"}) {
            const auto [opened, error] = bass.openUrl(url);
            EXPECT_FALSE(opened) << url;
            EXPECT_EQ(error, BASS_ERROR_NONET) << url;
        }
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
}

}  // namespace
