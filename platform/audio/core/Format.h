// Sample formats and conversions between the library's internal 32-bit float
// samples and the formats callers see (16-bit signed, 8-bit unsigned, float).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qaudio {

struct SampleFormat {
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bytesPerSample = 2;  // 1 (unsigned 8-bit), 2 (signed 16-bit) or 4 (float)

    uint32_t bytesPerFrame() const { return channels * bytesPerSample; }
    // Maps BASS_SAMPLE_8BITS / BASS_SAMPLE_FLOAT in `flags` to a sample size.
    static uint32_t bytesPerSampleFor(uint32_t flags);
};

// Largest sample rate and channel count a channel may have. Limits what a
// (possibly malformed) file can make the library allocate per frame.
constexpr uint32_t kMaxRate = 384000;
constexpr uint32_t kMaxChannels = 32;

bool isValid(const SampleFormat& f);

// Converts `samples` floats to the format's sample size. Values outside
// [-1, 1] are clipped; 16-bit and 8-bit values are rounded.
void floatToSamples(const float* in, size_t samples, uint32_t bytesPerSample, void* out);
// The reverse: 8-bit unsigned, 16-bit signed or float samples to float.
void samplesToFloat(const void* in, size_t samples, uint32_t bytesPerSample, float* out);

}  // namespace qaudio
