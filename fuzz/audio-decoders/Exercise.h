// What every decoder harness does with a stream that opened: read a bounded
// amount, seek to positions taken from the input, read again, look at every
// tag type. Bounded so one input cannot run for long.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/audio/Decoder.h"

namespace qaudio::fuzz {

// Frames read in all; about 3 s of CD audio.
inline constexpr uint64_t kMaxFramesRead = 1 << 17;

inline void exercise(Decoder& d, const uint8_t* data, size_t size) {
    const uint32_t channels = d.channels();
    if (channels == 0 || channels > 64 || d.sampleRate() == 0) {
        __builtin_trap();  // a decoder must never report these
    }
    std::vector<float> buf(4096 * channels);
    uint64_t total = 0;
    const auto readSome = [&](uint64_t frames) {
        while (frames > 0 && total < kMaxFramesRead) {
            const uint64_t got = d.read(buf.data(), std::min<uint64_t>(frames, 4096));
            if (got > 4096) {
                __builtin_trap();
            }
            if (got == 0) {
                break;
            }
            frames -= got;
            total += got;
        }
    };
    readSome(kMaxFramesRead / 2);
    // Seek targets from the input's last bytes, within and past the length.
    const uint64_t length = d.lengthFrames().value_or(1 << 20);
    for (size_t i = 0; i < 3 && size >= 4 * (i + 1); ++i) {
        uint32_t v = 0;
        std::memcpy(&v, data + size - 4 * (i + 1), 4);
        const uint64_t target = length == 0 ? v % 4 : v % (length + length / 8 + 1);
        d.seek(target);
        readSome(2048);
    }
    for (uint32_t type = 0; type < 16; ++type) {
        if (const auto t = d.tags(type); t && !t->empty()) {
            volatile char c = t->front();
            c = t->back();
            (void)c;
        }
    }
    if (d.fileBytePosition() > d.fileSize()) {
        __builtin_trap();
    }
}

}  // namespace qaudio::fuzz
