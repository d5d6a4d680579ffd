// Magnitude spectra for BASS_ChannelGetData's FFT requests.
//
// Values are amplitudes normalised by the window's sum: a full-scale sine
// whose frequency falls on a bin reads about 1.0 in that bin (a little less
// between bins), DC reads its level, silence reads 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qaudio {

// Points of the transform a BASS_DATA_FFT* length value asks for (256 to
// 4096); 0 when `length` is not an FFT request.
uint32_t fftPoints(uint32_t length);

// Number of floats computeSpectrum writes.
inline size_t spectrumValues(uint32_t points, uint32_t channels, bool individual) {
    return individual ? size_t(points / 2) * channels : points / 2;
}

// `in` holds `points` frames of `channels` interleaved samples. Without
// `individual` the channels are mixed (averaged) first and `out` receives
// points/2 magnitudes (bins 0 .. points/2 - 1); with it, one transform per
// channel, the values interleaved by channel. `window` applies a Hann window.
// Thread-safe; reuses per-thread plans, so it allocates only the first time a
// thread asks for a size.
void computeSpectrum(const float* in, uint32_t points, uint32_t channels, bool individual, bool window,
                     float* out);

}  // namespace qaudio
