#include "tests/common/SinkRecording.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace soundtest {

PrivateSink::PrivateSink() {
    static int serial = 0;
    m_name = "quillet_tools_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
    const std::string command =
        "pactl load-module module-null-sink sink_name=" + m_name + " rate=44100 channels=2 2>/dev/null";
    if (FILE* f = popen(command.c_str(), "r")) {
        if (std::fscanf(f, "%d", &m_module) != 1) m_module = -1;
        if (pclose(f) != 0) m_module = -1;
    }
}

PrivateSink::~PrivateSink() {
    if (m_module < 0) return;
    const std::string command = "pactl unload-module " + std::to_string(m_module) + " 2>/dev/null";
    [[maybe_unused]] const int rc = std::system(command.c_str());
}

namespace {

// The sink's current latency in microseconds from `pactl list sinks`, -1 when not found.
long sinkLatencyUs(const std::string& name) {
    FILE* f = popen("pactl list sinks 2>/dev/null", "r");
    if (!f) return -1;
    long latency = -1;
    bool ours = false;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        const std::string l = line;
        if (l.find("Name: ") != std::string::npos) ours = l.find("Name: " + name + "\n") != std::string::npos;
        const size_t at = l.find("Latency: ");
        if (ours && at != std::string::npos && latency < 0)
            latency = std::strtol(l.c_str() + at + 9, nullptr, 10);
    }
    pclose(f);
    return latency;
}

}  // namespace

bool PrivateSink::settle() {
    for (int i = 0; i < 100; ++i) {
        const long latency = sinkLatencyUs(m_name);
        if (latency >= 0 && latency < 100000) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

Recorder::Recorder(const std::string& sink) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string monitor = sink + ".monitor";
    std::vector<std::string> args = {
        "parec",          "-d",           monitor,       "--latency-msec=20", "--raw",
        "--format=s16le", "--rate=44100", "--channels=2"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&m_pid, "parec", &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    m_fd = fds[0];
    m_reader = std::thread([this] {
        int16_t buf[4096];
        ssize_t n;
        size_t odd = 0;  // bytes of an unfinished frame carried over
        uint8_t carry[4];
        while ((n = read(m_fd, reinterpret_cast<uint8_t*>(buf), sizeof buf)) > 0) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(buf);
            for (ssize_t i = 0; i < n; ++i) {
                carry[odd++] = bytes[i];
                if (odd == 4) {
                    m_left.push_back(int16_t(uint16_t(carry[0] | (carry[1] << 8))) / 32768.0f);
                    odd = 0;
                }
            }
        }
    });
}

std::vector<float> Recorder::finish() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    if (m_reader.joinable()) m_reader.join();
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    return std::move(m_left);
}

Recorder::~Recorder() {
    finish();
}

std::vector<double> blockLevels(const std::vector<float>& s) {
    std::vector<double> levels;
    for (size_t at = 0; at + kBlock <= s.size(); at += kBlock) {
        double e = 0;
        for (size_t i = at; i < at + kBlock; ++i) e += double(s[i]) * s[i];
        levels.push_back(std::sqrt(e / kBlock));
    }
    return levels;
}

std::vector<Span> soundSpans(const std::vector<double>& levels, double threshold, size_t minGapBlocks) {
    std::vector<Span> spans;
    for (size_t b = 0; b < levels.size(); ++b) {
        if (levels[b] <= threshold) continue;
        if (!spans.empty() && b - spans.back().last <= minGapBlocks) {
            spans.back().last = b;
        } else {
            spans.push_back({b, b});
        }
    }
    return spans;
}

double frequencyAt(const std::vector<float>& s, size_t from, size_t length) {
    const size_t to = std::min(s.size(), from + length);
    double first = -1, last = -1;
    size_t crossings = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double at = double(i - 1) + double(-s[i - 1]) / double(s[i] - s[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2 || last <= first) return 0;
    return double(crossings - 1) * kRate / (last - first);
}

double medianLevel(const std::vector<double>& levels, const Span& span) {
    std::vector<double> v(levels.begin() + ptrdiff_t(span.first), levels.begin() + ptrdiff_t(span.last) + 1);
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

double fadeSeconds(const std::vector<double>& levels, size_t edge, int step, double full, double fraction) {
    ptrdiff_t b = ptrdiff_t(edge);
    while (b >= 0 && b < ptrdiff_t(levels.size()) && levels[size_t(b)] < fraction * full) b += step;
    return double(std::abs(b - ptrdiff_t(edge))) / 100.0;
}

}  // namespace soundtest
