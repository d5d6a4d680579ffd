// Decoding speed: an MP3 decoded to 16-bit through a decoding channel
// (BASS_ChannelGetData until the end) against `mpg123 -t` on the same file.
// Prints the median CPU time (user + system) of five runs of each.
//   bench_audio_decode [file.mp3]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "BenchFile.h"
#include "platform/audio/bass.h"

namespace {

double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double tv(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// CPU seconds of one decode of the whole file; bytes decoded in `bytes`.
double decodeOnce(const std::string& path, unsigned long long& bytes) {
    const double t0 = cpuSeconds();
    const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!h) return -1;
    std::vector<char> buf(1 << 16);
    bytes = 0;
    for (;;) {
        const DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
        if (n == DWORD(-1)) break;
        bytes += n;
    }
    BASS_StreamFree(h);
    return cpuSeconds() - t0;
}

// CPU seconds (user + system) of `mpg123 -q -t file`.
double mpg123Once(const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("mpg123", "mpg123", "-q", "-t", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (pid < 0 || wait4(pid, &status, 0, &ru) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return tv(ru.ru_utime) + tv(ru.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = benchMp3(argc > 1 ? argv[1] : nullptr, 300);
    if (path.empty() || !BASS_Init(0, 44100, 0, nullptr, nullptr)) return 1;
    std::vector<double> ours, theirs;
    unsigned long long bytes = 0;
    for (int i = 0; i < 5; ++i) {
        ours.push_back(decodeOnce(path, bytes));
        theirs.push_back(mpg123Once(path));
    }
    BASS_Free();
    const double a = median(ours), b = median(theirs);
    const double audio = double(bytes) / (44100.0 * 4);
    std::printf("file %s: %.1f s of audio\n", path.c_str(), audio);
    std::printf("decoding channel: %.3f s CPU (%.0fx real time)\n", a, audio / a);
    std::printf("mpg123 -t:        %.3f s CPU (%.0fx real time)\n", b, audio / b);
    std::printf("ratio ours/mpg123: %.3f (%+.1f %%)\n", a / b, (a / b - 1) * 100);
    return 0;
}
