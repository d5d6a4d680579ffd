#include "platform/audio/core/Format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audio/bass.h"

namespace qaudio {

uint32_t SampleFormat::bytesPerSampleFor(uint32_t flags) {
    if (flags & BASS_SAMPLE_FLOAT) return 4;
    if (flags & BASS_SAMPLE_8BITS) return 1;
    return 2;
}

bool isValid(const SampleFormat& f) {
    return f.rate > 0 && f.rate <= kMaxRate && f.channels > 0 && f.channels <= kMaxChannels &&
           (f.bytesPerSample == 1 || f.bytesPerSample == 2 || f.bytesPerSample == 4);
}

void floatToSamples(const float* in, size_t samples, uint32_t bytesPerSample, void* out) {
    switch (bytesPerSample) {
        case 4:
            std::memcpy(out, in, samples * sizeof(float));
            break;
        case 2: {
            auto* o = static_cast<int16_t*>(out);
            for (size_t i = 0; i < samples; ++i) {
                const float v = std::clamp(in[i] * 32768.0f, -32768.0f, 32767.0f);
                o[i] = static_cast<int16_t>(std::lrint(v));
            }
            break;
        }
        case 1: {
            auto* o = static_cast<uint8_t*>(out);
            for (size_t i = 0; i < samples; ++i) {
                const float v = std::clamp(in[i] * 128.0f, -128.0f, 127.0f);
                o[i] = static_cast<uint8_t>(std::lrint(v) + 128);
            }
            break;
        }
        default:
            break;
    }
}

void samplesToFloat(const void* in, size_t samples, uint32_t bytesPerSample, float* out) {
    switch (bytesPerSample) {
        case 4:
            std::memcpy(out, in, samples * sizeof(float));
            break;
        case 2: {
            const auto* s = static_cast<const int16_t*>(in);
            for (size_t i = 0; i < samples; ++i) out[i] = static_cast<float>(s[i]) * (1.0f / 32768.0f);
            break;
        }
        case 1: {
            const auto* s = static_cast<const uint8_t*>(in);
            for (size_t i = 0; i < samples; ++i)
                out[i] = static_cast<float>(int(s[i]) - 128) * (1.0f / 128.0f);
            break;
        }
        default:
            break;
    }
}

}  // namespace qaudio
