// The visualisation plug-in's views fed whatever a host might put in a module's
// record: any canvas size, channel counts and sample rate, any buffer bytes, a
// few frames in a row (the bars and peaks keep state between frames).
//
// Input: width (2 bytes, little-endian, modulo 1200), height (2 bytes, likewise),
// spectrum channels (1 byte, signed), waveform channels (1 byte, signed), sample
// rate (4 bytes, little-endian, signed), then frames of 2 × 576 spectrum and
// 2 × 576 waveform bytes (the last one zero-padded), at most four.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "plugins/visual/VisDraw.h"

namespace {

using quillet::vis::kSamples;

constexpr std::size_t kHeader = 10;
constexpr std::size_t kFrameBytes = 4 * kSamples;
constexpr int kMaxFrames = 4;
constexpr int kSizeModulo = 1200;  // keeps one run fast; sizes beyond add nothing new

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeader) return 0;
    const int width = (data[0] | data[1] << 8) % kSizeModulo;
    const int height = (data[2] | data[3] << 8) % kSizeModulo;
    // Signed bytes: -128 .. 127 channels.
    const int spectrumChannels = data[4] - (data[4] & 0x80) * 2;
    const int waveformChannels = data[5] - (data[5] & 0x80) * 2;
    std::int32_t sampleRate = 0;
    std::memcpy(&sampleRate, data + 6, sizeof sampleRate);

    quillet::vis::Canvas canvas;
    canvas.resize(width, height);
    quillet::vis::BandsView bands;
    quillet::vis::ScopeView scope;
    unsigned char spectrum[2][kSamples];
    unsigned char waveform[2][kSamples];
    std::size_t at = kHeader;
    for (int frame = 0; frame < kMaxFrames && (frame == 0 || at < size); ++frame) {
        unsigned char bytes[kFrameBytes] = {};
        const std::size_t take = std::min(kFrameBytes, size - at);
        std::memcpy(bytes, data + at, take);
        at += take;
        std::memcpy(spectrum, bytes, sizeof spectrum);
        std::memcpy(waveform, bytes + sizeof spectrum, sizeof waveform);
        bands.draw(canvas, spectrum, spectrumChannels, sampleRate, 0.025 * frame);
        scope.draw(canvas, waveform, waveformChannels);
    }
    return 0;
}
