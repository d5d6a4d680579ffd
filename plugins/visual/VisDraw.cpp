#include "plugins/visual/VisDraw.h"

#include <algorithm>
#include <cmath>

namespace quillet::vis {

namespace {

constexpr std::uint32_t kBandsBackground = 0x0b0d16;
constexpr std::uint32_t kMiddleLine = 0x2c3444;
constexpr std::uint32_t kGridLine = 0x161c2a;  // at 100 Hz, 1 kHz and 10 kHz
constexpr std::uint32_t kPeakColour = 0xe8e8f0;
constexpr std::uint32_t kScopeGrid = 0x1c2430;
constexpr std::uint32_t kTraceColours[2] = {0x40ff90, 0xffb040};

// The loudness range the bars show: a byte of 255 fills the height, one 48 dB
// lower (a byte of about 1) shows nothing.
constexpr double kRangeDb = 48.0;
// How fast bars and peak marks fall, in heights per second (per second squared
// for the peaks, which accelerate), and how long a peak stays put.
constexpr float kBarFall = 1.6f;
constexpr float kPeakGravity = 3.0f;
constexpr float kPeakHoldSeconds = 0.5f;

std::uint32_t mix(std::uint32_t a, std::uint32_t b, double t) {
    auto channel = [&](int shift) {
        const double ca = (a >> shift) & 0xff, cb = (b >> shift) & 0xff;
        return static_cast<std::uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

// Three-stop gradient: low at 0, mid at 0.5, high at 1.
std::uint32_t gradient(double t, std::uint32_t low, std::uint32_t mid, std::uint32_t high) {
    return t < 0.5 ? mix(low, mid, t * 2) : mix(mid, high, (t - 0.5) * 2);
}

float levelOf(float byte) {
    if (byte <= 0) return 0;
    const double db = 20.0 * std::log10(byte / 255.0);
    return static_cast<float>(std::clamp((db + kRangeDb) / kRangeDb, 0.0, 1.0));
}

}  // namespace

void Canvas::resize(int width, int height) {
    m_width = std::clamp(width, 0, kMaxSide);
    m_height = std::clamp(height, 0, kMaxSide);
    m_pixels.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), 0);
}

std::uint32_t Canvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
                    static_cast<std::size_t>(x)];
}

void Canvas::fill(std::uint32_t colour) {
    std::fill(m_pixels.begin(), m_pixels.end(), colour);
}

void Canvas::fillRect(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, m_width);
    y1 = std::min(y1, m_height);
    for (int y = y0; y < y1; ++y) {
        auto* row = m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
        std::fill(row + x0, row + std::max(x0, x1), colour);
    }
}

void Canvas::vline(int x, int y0, int y1, std::uint32_t colour) {
    if (y0 > y1) std::swap(y0, y1);
    fillRect(x, y0, x + 1, y1 + 1, colour);
}

void Canvas::fadeHalf() {
    for (auto& p : m_pixels) p = (p >> 1) & 0x7f7f7f;
}

int saneSampleRate(int sampleRate) {
    if (sampleRate <= 0) return 44100;
    return std::clamp(sampleRate, 8000, 768000);
}

double bandsTopHz(int sampleRate) {
    return std::min(kHighHz, static_cast<double>(kSamples) * saneSampleRate(sampleRate) / kFftSize);
}

int barCount(int width) {
    return std::clamp(width / 8, 8, 160);
}

void BandsView::layout(int width, int height, int sampleRate) {
    m_width = width;
    m_height = height;
    m_rate = sampleRate;
    const int bars = barCount(width);
    const double top = bandsTopHz(sampleRate);
    const double ratio = std::pow(top / kLowHz, 1.0 / bars);
    const double hzToBin = static_cast<double>(kFftSize) / saneSampleRate(sampleRate);
    m_binFrom.resize(static_cast<std::size_t>(bars));
    m_binTo.resize(static_cast<std::size_t>(bars));
    for (int i = 0; i < bars; ++i) {
        // Buffer index j holds the bin at (j + 1) / hzToBin Hz; a bar takes the bins
        // whose frequency lies in [from, to).
        const double from = kLowHz * std::pow(ratio, i), to = from * ratio;
        const double first = std::ceil(from * hzToBin - 1), last = std::ceil(to * hzToBin - 1) - 1;
        if (first <= last) {
            m_binFrom[static_cast<std::size_t>(i)] =
                static_cast<float>(std::clamp(first, 0.0, kSamples - 1.0));
            m_binTo[static_cast<std::size_t>(i)] = static_cast<float>(std::clamp(last, 0.0, kSamples - 1.0));
        } else {
            // Narrower than a bin: the value between the two bins around its middle.
            const double middle = std::sqrt(from * to) * hzToBin - 1;
            m_binFrom[static_cast<std::size_t>(i)] =
                static_cast<float>(std::clamp(middle, 0.0, kSamples - 1.0));
            m_binTo[static_cast<std::size_t>(i)] = -1;
        }
    }
    for (auto& channel : m_bars) channel.resize(static_cast<std::size_t>(bars));
    m_gridColumns.clear();
    for (double hz : {100.0, 1000.0, 10000.0}) {
        if (hz < top)
            m_gridColumns.push_back(static_cast<int>(width * std::log(hz / kLowHz) / std::log(top / kLowHz)));
    }
    const int side = std::max(height / 2, 1);
    m_gradient.resize(static_cast<std::size_t>(side) * 2);
    for (int k = 0; k < side; ++k) {
        const double t = side > 1 ? static_cast<double>(k) / (side - 1) : 0;
        m_gradient[static_cast<std::size_t>(k)] = gradient(t, 0x1fa84a, 0xe6d23a, 0xf0463c);
        m_gradient[static_cast<std::size_t>(side) + static_cast<std::size_t>(k)] =
            gradient(t, 0x1f8fa8, 0x4a5ae6, 0xc048e0);
    }
}

float BandsView::barTarget(const unsigned char* bins, int bar) const {
    const float from = m_binFrom[static_cast<std::size_t>(bar)], to = m_binTo[static_cast<std::size_t>(bar)];
    if (to < 0) {
        const int low = static_cast<int>(from);
        const int high = std::min(low + 1, kSamples - 1);
        const float t = from - static_cast<float>(low);
        return levelOf(bins[low] + (bins[high] - bins[low]) * t);
    }
    unsigned char most = 0;
    for (int j = static_cast<int>(from); j <= static_cast<int>(to); ++j) most = std::max(most, bins[j]);
    return levelOf(most);
}

void BandsView::step(Bar& bar, float target, float elapsed) const {
    bar.level = std::max(target, bar.level - kBarFall * elapsed);
    if (bar.level >= bar.peak) {
        bar.peak = bar.level;
        bar.peakHold = kPeakHoldSeconds;
        bar.peakSpeed = 0;
    } else if (bar.peakHold > 0) {
        bar.peakHold -= elapsed;
    } else {
        bar.peakSpeed += kPeakGravity * elapsed;
        bar.peak = std::max(bar.level, bar.peak - bar.peakSpeed * elapsed);
    }
}

void BandsView::drawBar(Canvas& canvas, const Bar& bar, int channel, int x0, int x1) const {
    // The first channel grows up from the middle line, the second down; the colour
    // goes with the height of the row within the half.
    const int mid = canvas.height() / 2;
    const int room = channel == 0 ? mid : canvas.height() - mid - 1;
    const int side = static_cast<int>(m_gradient.size() / 2);
    const int height = static_cast<int>(std::lround(bar.level * static_cast<float>(room)));
    for (int k = 0; k < height; ++k) {
        const int y = channel == 0 ? mid - 1 - k : mid + 1 + k;
        const int shade = std::min(k * side / std::max(room, 1), side - 1) + channel * side;
        canvas.fillRect(x0, y, x1, y + 1, m_gradient[static_cast<std::size_t>(shade)]);
    }
    const int peak = static_cast<int>(std::lround(bar.peak * static_cast<float>(room)));
    if (peak > 0) {
        const int y = channel == 0 ? mid - peak : mid + peak - 1;
        canvas.fillRect(x0, y, x1, y + 2, kPeakColour);
    }
}

void BandsView::draw(Canvas& canvas, const unsigned char (*spectrum)[kSamples], int channels, int sampleRate,
                     double elapsedSeconds) {
    const int w = canvas.width(), h = canvas.height();
    const int rate = saneSampleRate(sampleRate);
    if (w != m_width || h != m_height || rate != m_rate) layout(w, h, rate);
    canvas.fill(kBandsBackground);
    if (w == 0 || h == 0) return;
    for (int x : m_gridColumns) canvas.vline(x, 0, h - 1, kGridLine);
    canvas.fillRect(0, h / 2, w, h / 2 + 1, kMiddleLine);

    const float elapsed = static_cast<float>(std::clamp(elapsedSeconds, 0.0, 1.0));
    const int bars = static_cast<int>(m_binFrom.size());
    const int pitch = w / bars, gap = pitch >= 4 ? 2 : pitch >= 2 ? 1 : 0;
    for (int c = 0; c < 2; ++c) {
        // One channel feeds both halves; none leaves the bars to fall.
        const unsigned char* bins = channels <= 0 ? nullptr : spectrum[channels >= 2 ? c : 0];
        for (int i = 0; i < bars; ++i) {
            Bar& bar = m_bars[c][static_cast<std::size_t>(i)];
            step(bar, bins ? barTarget(bins, i) : 0.0f, elapsed);
            const int x0 = i * w / bars;
            drawBar(canvas, bar, c, x0, std::max(x0 + 1, (i + 1) * w / bars - gap));
        }
    }
}

void ScopeView::draw(Canvas& canvas, const unsigned char (*waveform)[kSamples], int channels) {
    const int w = canvas.width(), h = canvas.height();
    if (w != m_width || h != m_height) {
        // A new size: nothing of the old picture fits, start from black.
        m_width = w;
        m_height = h;
        canvas.fill(0);
    } else {
        canvas.fadeHalf();
    }
    if (w == 0 || h == 0) return;
    const int traces = std::clamp(channels, 0, 2);
    const int lane = traces == 2 ? h / 2 : h;
    for (int c = 0; c < std::max(traces, 1); ++c) {
        const int centre = c * lane + lane / 2;
        canvas.fillRect(0, centre, w, centre + 1, kScopeGrid);
    }
    for (int c = 0; c < traces; ++c) {
        const int top = c * lane, centre = top + lane / 2;
        const int reach = lane / 2 - 1;  // rows from the middle to the lane's edge
        const double amplitude = reach / 128.0;
        const unsigned char* samples = waveform[c];
        int previous = centre;
        for (int x = 0; x < w; ++x) {
            const double position = w > 1 ? static_cast<double>(x) * (kSamples - 1) / (w - 1) : 0;
            const int i = std::min(static_cast<int>(position), kSamples - 1);
            const int next = std::min(i + 1, kSamples - 1);
            const double a = static_cast<signed char>(samples[i]),
                         b = static_cast<signed char>(samples[next]);
            const double value = a + (b - a) * (position - i);
            const int y =
                std::clamp(centre - static_cast<int>(std::lround(value * amplitude)), top, top + lane - 1);
            canvas.vline(x, x == 0 ? y : previous, y, kTraceColours[c]);
            previous = y;
        }
    }
}

}  // namespace quillet::vis
