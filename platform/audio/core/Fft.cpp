#include "platform/audio/core/Fft.h"

#include <kiss_fftr.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "platform/audio/bass.h"

namespace qaudio {

namespace {

constexpr uint32_t kMinOrder = 8;   // 256 points
constexpr uint32_t kMaxOrder = 12;  // 4096 points

struct PlanDeleter {
    void operator()(kiss_fftr_cfg c) const { kiss_fftr_free(c); }
};

// One transform size: the plan, the window and the work buffers.
struct Plan {
    explicit Plan(uint32_t n)
        : points(n),
          cfg(kiss_fftr_alloc(int(n), 0, nullptr, nullptr)),
          window(n),
          input(n),
          output(n / 2 + 1) {
        for (uint32_t i = 0; i < n; ++i) {
            window[i] = float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / n));  // periodic Hann
        }
    }
    uint32_t points;
    std::unique_ptr<kiss_fftr_state, PlanDeleter> cfg;
    std::vector<float> window;
    std::vector<kiss_fft_scalar> input;
    std::vector<kiss_fft_cpx> output;
};

Plan& planFor(uint32_t points) {
    thread_local std::unique_ptr<Plan> plans[kMaxOrder - kMinOrder + 1];
    uint32_t order = kMinOrder;
    while ((1u << order) < points) ++order;
    auto& p = plans[order - kMinOrder];
    if (!p) p = std::make_unique<Plan>(points);
    return *p;
}

// Transforms plan.input and writes points/2 magnitudes to out[i * stride].
void magnitudes(Plan& plan, bool window, float* out, size_t stride) {
    const uint32_t n = plan.points;
    // The window's sum: n/2 for the periodic Hann window, n without one. A
    // sine of amplitude A gives |X[k]| = A * sum / 2 in its bin.
    const float sum = window ? float(n) / 2.0f : float(n);
    if (window) {
        for (uint32_t i = 0; i < n; ++i) plan.input[i] *= plan.window[i];
    }
    kiss_fftr(plan.cfg.get(), plan.input.data(), plan.output.data());
    for (uint32_t k = 0; k < n / 2; ++k) {
        const float re = plan.output[k].r, im = plan.output[k].i;
        const float scale = (k == 0 ? 1.0f : 2.0f) / sum;
        out[k * stride] = std::sqrt(re * re + im * im) * scale;
    }
}

}  // namespace

uint32_t fftPoints(uint32_t length) {
    if (!(length & 0x80000000u)) return 0;
    const uint32_t code = length & 0x0Fu;
    if (code > kMaxOrder - kMinOrder) return 0;
    return 1u << (kMinOrder + code);
}

void computeSpectrum(const float* in, uint32_t points, uint32_t channels, bool individual, bool window,
                     float* out) {
    Plan& plan = planFor(points);
    if (individual) {
        for (uint32_t c = 0; c < channels; ++c) {
            for (uint32_t i = 0; i < points; ++i) plan.input[i] = in[size_t(i) * channels + c];
            magnitudes(plan, window, out + c, channels);
        }
        return;
    }
    const float mix = 1.0f / float(channels);
    for (uint32_t i = 0; i < points; ++i) {
        float s = 0;
        for (uint32_t c = 0; c < channels; ++c) s += in[size_t(i) * channels + c];
        plan.input[i] = s * mix;
    }
    magnitudes(plan, window, out, 1);
}

}  // namespace qaudio
