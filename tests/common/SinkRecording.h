// Recording the PulseAudio null sink and reading what it heard: sound and silence,
// fades, and the frequency of a tone at a given moment.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace soundtest {

constexpr double kRate = 44100;

// A null sink of the test's own on the sound server, 44.1 kHz stereo, removed again at
// destruction, so that tests running at the same time do not hear each other. Players
// started with env() in their environment play into it.
class PrivateSink {
  public:
    PrivateSink();
    ~PrivateSink();
    PrivateSink(const PrivateSink&) = delete;
    PrivateSink& operator=(const PrivateSink&) = delete;
    bool loaded() const { return m_module >= 0; }
    const std::string& name() const { return m_name; }
    std::string env() const { return "PULSE_SINK=" + m_name; }
    // A new null sink starts with a latency of two seconds and takes as long to come
    // down to what a reader of its monitor asks for. Call once a Recorder is attached:
    // waits until the sink's latency is below 100 ms; false when it did not get there.
    bool settle();

  private:
    std::string m_name;
    int m_module = -1;
};

// Records the monitor of a sink with parec, 16-bit stereo at 44.1 kHz, while alive;
// keeps the left channel.
class Recorder {
  public:
    explicit Recorder(const std::string& sink);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    bool running() const { return m_pid > 0; }
    // Ends the recording and returns the samples (-1..1).
    std::vector<float> finish();

  private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
    std::vector<float> m_left;
};

// Levels of consecutive 10 ms blocks (root mean square).
constexpr size_t kBlock = size_t(kRate / 100);
std::vector<double> blockLevels(const std::vector<float>& samples);

// A stretch of blocks [first, last] where the level is above a threshold.
struct Span {
    size_t first = 0;
    size_t last = 0;
    double seconds() const { return double(last - first + 1) / 100.0; }
};

// The stretches with sound (level above threshold), shorter gaps than minGapBlocks
// bridged.
std::vector<Span> soundSpans(const std::vector<double>& levels, double threshold, size_t minGapBlocks = 5);

// The frequency from rising zero crossings in [from, from + length) samples, interpolated
// between samples; 0 when there are fewer than two crossings.
double frequencyAt(const std::vector<float>& samples, size_t from, size_t length);

// The level reached, in the median of the blocks of the span.
double medianLevel(const std::vector<double>& levels, const Span& span);

// How long (seconds) a fade into or out of the block at `edge` takes: the distance from
// the edge to the nearest block, going away from it by `step` (+1 or -1), whose level
// is at least fraction × full.
double fadeSeconds(const std::vector<double>& levels, size_t edge, int step, double full,
                   double fraction = 0.9);

}  // namespace soundtest
