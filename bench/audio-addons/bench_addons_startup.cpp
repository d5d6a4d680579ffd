// What the four add-ons add to a start: the engine's add-on steps (WMA add-on
// attached, mixer version, CD drive list, MIDI add-on loaded) timed and their
// resident memory measured, each run in a fresh process. Then what the first
// WMA file and the first CD image cost when they load FFmpeg and libcdio.
//
//   bench_addons_startup [RUNS]    (the CD image of the tests is drive D)
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/basscd.h"
#include "platform/audio/bassmix.h"

namespace {

std::string binDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    const std::string path(buf, n > 0 ? size_t(n) : 0);
    return path.substr(0, path.rfind('/') + 1);
}

long rssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <typename T>
T symbol(void* lib, const char* name) {
    return reinterpret_cast<T>(dlsym(lib, name));
}

struct Figures {
    double startMs, wmaMs, cdMs;
    long startKiB, wmaKiB, cdKiB;
};

// One run, in a child: the start's add-on steps, then a first WMA and CD open.
Figures run(const std::string& wmaFile, const std::string& cdImage) {
    const std::string dir = binDir();
    void* bass = dlopen((dir + "libbass.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    auto init = symbol<BASS_Init_t>(bass, "BASS_Init");
    auto pluginLoad = symbol<BASS_PluginLoad_t>(bass, "BASS_PluginLoad");
    auto createFile = symbol<BASS_StreamCreateFile_t>(bass, "BASS_StreamCreateFile");
    init(0, 44100, 0, nullptr, nullptr);
    setenv("QUILLET_CD_DRIVES", cdImage.c_str(), 1);  // one drive: the image
    Figures f{};

    const long rss0 = rssKiB();
    const double t0 = nowMs();
    pluginLoad((dir + "libbasswma.so").c_str(), 0);
    void* mix = dlopen((dir + "libbassmix.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    symbol<BASS_Mixer_GetVersion_t>(mix, "BASS_Mixer_GetVersion")();
    void* cd = dlopen((dir + "libbasscd.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    auto cdInfo = symbol<BASS_CD_GetInfo_t>(cd, "BASS_CD_GetInfo");
    BASS_CD_INFO info{};
    for (DWORD drive = 0; drive < 4 && cdInfo(drive, &info); ++drive) {
    }
    dlopen((dir + "libbassmidi.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    f.startMs = nowMs() - t0;
    f.startKiB = rssKiB() - rss0;

    const long rss1 = rssKiB();
    const double t1 = nowMs();
    createFile(FALSE, wmaFile.c_str(), 0, 0, BASS_STREAM_DECODE);
    f.wmaMs = nowMs() - t1;
    f.wmaKiB = rssKiB() - rss1;

    const long rss2 = rssKiB();
    const double t2 = nowMs();
    // The drive list was read at the start without libcdio; the first disc
    // read loads it.
    symbol<BASS_CD_GetTracks_t>(cd, "BASS_CD_GetTracks")(0);
    f.cdMs = nowMs() - t2;
    f.cdKiB = rssKiB() - rss2;
    return f;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string src = QUILLET_SOURCE_DIR;
    std::vector<double> startMs, wmaMs, cdMs, startKiB, wmaKiB, cdKiB;
    for (int i = 0; i < runs; ++i) {
        int fds[2];
        if (pipe(fds) != 0) return 1;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const Figures f =
                run(src + "/tests/fixtures/wma/tone-wmav2-128k.wma", src + "/tests/fixtures/cd/disc.cue");
            if (write(fds[1], &f, sizeof f) != ssize_t(sizeof f)) _exit(1);
            _exit(0);
        }
        close(fds[1]);
        Figures f{};
        const bool ok = read(fds[0], &f, sizeof f) == ssize_t(sizeof f);
        close(fds[0]);
        waitpid(pid, nullptr, 0);
        if (!ok) return 1;
        startMs.push_back(f.startMs), wmaMs.push_back(f.wmaMs), cdMs.push_back(f.cdMs);
        startKiB.push_back(double(f.startKiB)), wmaKiB.push_back(double(f.wmaKiB)),
            cdKiB.push_back(double(f.cdKiB));
    }
    std::printf("median of %d runs\n", runs);
    std::printf("start with all four add-ons: %.2f ms, %+.0f KiB resident\n", median(startMs),
                median(startKiB));
    std::printf("first WMA file (loads FFmpeg): %.2f ms, %+.0f KiB resident\n", median(wmaMs),
                median(wmaKiB));
    std::printf("first CD image (loads libcdio): %.2f ms, %+.0f KiB resident\n", median(cdMs), median(cdKiB));
    return 0;
}
