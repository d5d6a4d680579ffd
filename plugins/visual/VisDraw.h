// The drawing of the visualisation plug-in: a pixel image and the two views that
// paint into it from a module's 576-byte buffers. No X11 and no message layer here,
// so the views can be exercised and measured on their own.
//
// Buffers: spectrum bytes are magnitudes of FFT bins 1 to 576 of a 2048-point FFT
// (bin j of the buffer lies at (j + 1) * sampleRate / 2048 Hz), 0 silent, 255 loud.
// Waveform bytes are signed 8-bit samples stored in unsigned bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace quillet::vis {

constexpr int kSamples = 576;
constexpr int kFftSize = 2048;
// The largest side of the image: a bound on what a window size asks us to allocate.
constexpr int kMaxSide = 8192;

// 0x00RRGGBB pixels, row after row. Every drawing call clips to the image.
class Canvas {
  public:
    // Sizes outside 0..kMaxSide are clamped. Keeps the allocation when it shrinks.
    void resize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }
    const std::uint32_t* pixels() const { return m_pixels.data(); }
    std::uint32_t pixel(int x, int y) const;  // 0 outside the image

    void fill(std::uint32_t colour);
    // The half-open rectangle [x0, x1) × [y0, y1).
    void fillRect(int x0, int y0, int x1, int y1, std::uint32_t colour);
    // A vertical run from y0 to y1 inclusive, in either order.
    void vline(int x, int y0, int y1, std::uint32_t colour);
    // Halves every channel of every pixel: the trail of the previous frames.
    void fadeHalf();

  private:
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint32_t> m_pixels;
};

// The frequency axis of the analyser: logarithmic from kLowHz to the top, which is
// the highest bin's frequency or kHighHz, whichever is lower.
constexpr double kLowHz = 40.0;
constexpr double kHighHz = 16000.0;
double bandsTopHz(int sampleRate);
// A sample rate a module may hold (any int) brought into 8 000 .. 768 000; 0 or less
// counts as 44 100.
int saneSampleRate(int sampleRate);
// The number of bars at a width: one per 8 pixels, at least 8 and at most 160.
int barCount(int width);

// Log-frequency bars with falling peak marks. The first spectrum channel grows
// upward from the middle line, the second downward (with one channel both show it).
class BandsView {
  public:
    // Draws one frame over the whole canvas. elapsedSeconds (since the previous
    // frame, clamped to 0..1) drives the fall of bars and peaks; 0 redraws as before.
    void draw(Canvas& canvas, const unsigned char (*spectrum)[kSamples], int channels, int sampleRate,
              double elapsedSeconds);

  private:
    struct Bar {
        float level = 0;      // 0..1, what is drawn
        float peak = 0;       // 0..1, the peak mark
        float peakHold = 0;   // seconds the mark stays before it falls
        float peakSpeed = 0;  // its falling speed, heights per second
    };
    void layout(int width, int height, int sampleRate);
    void step(Bar& bar, float target, float elapsed) const;
    float barTarget(const unsigned char* bins, int bar) const;
    void drawBar(Canvas& canvas, const Bar& bar, int channel, int x0, int x1) const;

    int m_width = -1, m_height = -1, m_rate = 0;
    std::vector<float> m_binFrom, m_binTo;  // per bar: bins [from, to], or a fractional bin when from > to
    std::vector<Bar> m_bars[2];
    std::vector<std::uint32_t> m_gradient;  // per half, by distance from the middle line
    std::vector<int> m_gridColumns;
};

// Two traces: the first waveform channel in the upper half, the second in the lower
// half (with one channel, a single trace over the whole height). The previous
// frames fade out behind the new one.
class ScopeView {
  public:
    void draw(Canvas& canvas, const unsigned char (*waveform)[kSamples], int channels);

  private:
    int m_width = -1, m_height = -1;
};

}  // namespace quillet::vis
