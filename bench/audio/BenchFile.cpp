#include "BenchFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::string benchMp3(const char* arg, int seconds) {
    if (arg) return arg;
    const std::string path = "/tmp/quillet-bench-" + std::to_string(seconds) + "s.mp3";
    if (std::filesystem::exists(path)) return path;
    // Three tones and some noise, changing over time: a signal the encoder
    // has to work on, unlike silence or a pure tone.
    const std::string cmd = "sox -q -V1 -r 44100 -c 2 -n -b 16 -t wav - synth " + std::to_string(seconds) +
                            " sine 220-880 sine 1300 pinknoise vol 0.3 | lame --quiet -b 192 - '" + path +
                            "'";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "could not make %s (needs sox and lame)\n", path.c_str());
        return {};
    }
    return path;
}
