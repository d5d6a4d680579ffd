#include "tests/audio-addons/AddonTest.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace addontest {

std::string exeDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    const std::string path(buf, n > 0 ? size_t(n) : 0);
    return path.substr(0, path.rfind('/'));
}

std::string fixture(const std::string& dir, const std::string& name) {
    return std::string(QUILLET_FIXTURES) + "/" + dir + "/" + name;
}

std::string tempDir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/quillet-addons-XXXXXX";
        const char* d = mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}

std::vector<int16_t> decodeAll(DWORD handle) {
    std::vector<int16_t> out;
    int16_t buf[8192];
    for (;;) {
        const DWORD n = BASS_ChannelGetData(handle, buf, sizeof buf);
        if (n == DWORD(-1) || n == 0) break;
        out.insert(out.end(), buf, buf + n / 2);
    }
    return out;
}

double sineFrequency(const std::vector<int16_t>& samples, int channels, int rate) {
    size_t crossings = 0, first = 0, last = 0;
    for (size_t i = size_t(channels); i < samples.size(); i += size_t(channels)) {
        if ((samples[i - size_t(channels)] < 0) != (samples[i] < 0)) {
            if (crossings == 0) first = i / size_t(channels);
            last = i / size_t(channels);
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return double(crossings - 1) / 2.0 / (double(last - first) / rate);
}

std::vector<std::string> series(const char* tags) {
    std::vector<std::string> out;
    if (!tags) return out;
    for (const char* p = tags; *p; p += out.back().size() + 1) out.emplace_back(p);
    return out;
}

void LibraryEnvironment::SetUp() {
    ASSERT_TRUE(BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
}

void LibraryEnvironment::TearDown() {
    BASS_PluginFree(0);
    BASS_Free();
}

}  // namespace addontest
