// A made-up file format for the audio library's tests: a header that
// describes a signal (a sine, or a ramp that numbers the frames) which the
// test decoder plug-in synthesises. Lets the tests check sample-exact
// positions, short decoder reads, tags and the add-on seam without real
// codecs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace tonefile {

enum Mode : uint32_t {
    kSine = 0,           // the same sine on every channel
    kRamp = 1,           // channel 0: (frame % 32768) / 32768, channel 1: its negative
    kSineHalfRight = 2,  // the sine on channel 0, at half amplitude on channel 1
};

struct Header {
    char magic[8] = {'Q', 'T', 'O', 'N', 'E', '0', '1', '\0'};
    uint32_t rate = 44100;
    uint32_t channels = 2;
    uint64_t frames = 44100;
    float frequency = 1000.0f;
    float amplitude = 0.5f;
    uint32_t ctype = 0x1F000;  // a stream type of its own
    uint32_t mode = kSine;
    uint32_t maxRead = 1000;  // the most frames one read returns
};

inline bool write(const std::string& path, const Header& h) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(&h, sizeof h, 1, f) == 1;
    return std::fclose(f) == 0 && ok;
}

// The value of a ramp file's channel-0 sample at `frame`, as 16-bit.
inline int16_t rampSample16(uint64_t frame) {
    return int16_t(frame % 32768);
}

}  // namespace tonefile
