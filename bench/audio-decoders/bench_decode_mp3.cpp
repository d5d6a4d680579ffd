// Decoding an MP3 to 16-bit PCM through our MPEG decoder against the
// reference command-line decoder (`mpg123 -t`, which decodes without
// output) on the same file. Prints CPU seconds (user + system) of each,
// the median of several runs, and the ratio.
//
// bench_decode_mp3 [file.mp3] [runs]; without a file, a 3-minute 320 kbit/s
// MP3 is made in the temporary folder by make-bench-mp3.sh.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audio/decoders/MpegDecoder.h"

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Converts float samples to 16-bit output: scaled, rounded to nearest and
// saturated (SSE2 on x86-64, 8 samples a step, as an output path would).
void toInt16(const float* in, int16_t* out, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128 scale = _mm_set1_ps(32768.0f);
    for (; i + 8 <= n; i += 8) {
        const __m128i lo = _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(in + i), scale));
        const __m128i hi = _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(in + i + 4), scale));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(lo, hi));
    }
#endif
    for (; i < n; ++i) {
        const float v = std::min(32767.0f, std::max(-32768.0f, in[i] * 32768.0f));
        out[i] = static_cast<int16_t>(std::lrint(v));
    }
}

// Returns CPU seconds; stores the frames decoded.
double decodeOurs(const std::string& path, uint64_t& frames, int64_t& checksum) {
    const double start = cpuSeconds();
    auto d = qaudio::MpegDecoderFactory().open(path, 0);
    if (!d) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    constexpr uint64_t kBlock = 4096;
    std::vector<float> f(kBlock * d->channels());
    std::vector<int16_t> pcm(f.size());
    frames = 0;
    checksum = 0;
    for (;;) {
        const uint64_t got = d->read(f.data(), kBlock);
        if (got == 0) {
            break;
        }
        toInt16(f.data(), pcm.data(), got * d->channels());
        checksum += pcm[0];
        frames += got;
    }
    return cpuSeconds() - start;
}

double decodeReference(const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("mpg123", "mpg123", "-q", "-t", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "mpg123 -t failed\n");
        std::exit(1);
    }
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : "";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() / "quillet-bench-320k.mp3").string();
        if (!std::filesystem::exists(path)) {
            const std::string cmd =
                "bash '" QUILLET_SOURCE_DIR "/bench/audio-decoders/make-bench-mp3.sh' '" + path + "'";
            if (std::system(cmd.c_str()) != 0) {
                std::fprintf(stderr, "cannot make %s\n", path.c_str());
                return 1;
            }
        }
    }
    std::vector<double> ours;
    std::vector<double> reference;
    uint64_t frames = 0;
    int64_t checksum = 0;
    decodeOurs(path, frames, checksum);  // warm the page cache
    for (int i = 0; i < runs; ++i) {
        // Alternate, so both see the same machine load.
        ours.push_back(decodeOurs(path, frames, checksum));
        reference.push_back(decodeReference(path));
    }
    const double o = median(ours);
    const double r = median(reference);
    std::printf("file: %s (%llu frames, %.1f s of audio)\n", path.c_str(),
                static_cast<unsigned long long>(frames), static_cast<double>(frames) / 44100.0);
    std::printf("ours (float decode + 16-bit conversion): median %.3f s CPU over %d runs\n", o, runs);
    std::printf("mpg123 -t:                               median %.3f s CPU over %d runs\n", r, runs);
    std::printf("ratio ours / mpg123 -t: %.3f (%+.1f %%)\n", o / r, (o / r - 1.0) * 100.0);
    return checksum == INT64_MIN ? 1 : 0;
}
