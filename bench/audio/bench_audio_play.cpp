// Plays a file on the sound server's default output for a number of seconds
// and prints this process's CPU time (user + system). Used by play-cpu.sh to
// compare with `mpg123 -o pulse` playing the same file.
//   bench_audio_play [file.mp3] [seconds]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "BenchFile.h"
#include "platform/audio/bass.h"

int main(int argc, char** argv) {
    const std::string path = benchMp3(argc > 1 ? argv[1] : nullptr, 300);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
    if (path.empty()) return 1;
    if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "no sound server (error %d)\n", BASS_ErrorGetCode());
        return 1;
    }
    BASS_SetConfig(BASS_CONFIG_BUFFER, 3000);
    const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    if (!h || !BASS_ChannelPlay(h, FALSE)) return 1;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    BASS_StreamFree(h);
    BASS_Free();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                       double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    std::printf("%.3f\n", cpu);
    return 0;
}
