// Helpers shared by the decoder tests: decoding whole streams, measuring a
// tone, and writing scratch files.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/audio/Decoder.h"

namespace qaudio::test {

inline std::string fixture(const std::string& name) {
    return std::string(QUILLET_FIXTURES) + "/audio/" + name;
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads until the decoder reports the end, in blocks of `block` frames.
inline std::vector<float> decodeAll(Decoder& d, uint64_t block = 1000) {
    std::vector<float> all;
    std::vector<float> buf(block * d.channels());
    for (;;) {
        const uint64_t got = d.read(buf.data(), block);
        if (got == 0) {
            break;
        }
        all.insert(all.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got * d.channels()));
    }
    return all;
}

inline std::vector<float> readFrames(Decoder& d, uint64_t frames) {
    std::vector<float> buf(frames * d.channels());
    const uint64_t got = d.read(buf.data(), frames);
    buf.resize(got * d.channels());
    return buf;
}

struct ToneStats {
    double frequency = 0;  // Hz, from rising zero crossings
    double rms = 0;
};

// Measures one channel of interleaved samples, skipping `skip` frames at
// each end (encoders' onsets and fades).
inline ToneStats measureTone(const std::vector<float>& s, uint32_t channels, uint32_t channel, uint32_t rate,
                             uint64_t skip = 2000) {
    ToneStats t;
    const uint64_t frames = s.size() / channels;
    if (frames <= 2 * skip + 1) {
        return t;
    }
    double sum = 0;
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t crossings = 0;
    for (uint64_t i = skip; i < frames - skip; ++i) {
        const double v = s[i * channels + channel];
        sum += v * v;
        if (i > skip && s[(i - 1) * channels + channel] < 0 && v >= 0) {
            if (crossings == 0) {
                first = i;
            }
            last = i;
            ++crossings;
        }
    }
    t.rms = std::sqrt(sum / static_cast<double>(frames - 2 * skip));
    if (crossings > 1) {
        t.frequency = static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
    }
    return t;
}

// Checks that after seek(t) a decoder delivers exactly the samples that a
// straight decode has at t, for each target (in the given order, so
// backward seeks are covered too), including a failed seek past the end that
// must leave the position alone. `tolerance` 0 asks for bit-identical
// samples.
inline void expectSeeksExact(const std::function<std::unique_ptr<Decoder>()>& open,
                             const std::vector<uint64_t>& targets, uint64_t span = 3000,
                             float tolerance = 0) {
    auto straight = open();
    auto seeking = open();
    ASSERT_TRUE(straight && seeking);
    const uint32_t ch = straight->channels();
    const std::vector<float> all = decodeAll(*straight);
    const uint64_t total = all.size() / ch;
    for (const uint64_t t : targets) {
        ASSERT_LE(t, total);
        ASSERT_TRUE(seeking->seek(t)) << "seek to " << t;
        const uint64_t n = std::min(span, total - t);
        const std::vector<float> got = readFrames(*seeking, n);
        ASSERT_EQ(got.size(), n * ch) << "after seek to " << t;
        for (uint64_t i = 0; i < n * ch; ++i) {
            if (tolerance == 0) {
                ASSERT_EQ(got[i], all[t * ch + i]) << "seek to " << t << ", sample " << i;
            } else {
                ASSERT_NEAR(got[i], all[t * ch + i], tolerance) << "seek to " << t << ", sample " << i;
            }
        }
        // A seek past the end fails and keeps the position.
        const uint64_t at = t + n;
        EXPECT_FALSE(seeking->seek(total + 100000));
        if (at < total) {
            const std::vector<float> next = readFrames(*seeking, 1);
            ASSERT_EQ(next.size(), ch);
            EXPECT_NEAR(next[0], all[at * ch], tolerance) << "position moved by a failed seek after " << t;
        }
    }
    ASSERT_TRUE(seeking->seek(total));
    std::vector<float> buf(16 * ch);
    EXPECT_EQ(seeking->read(buf.data(), 16), 0u) << "read at the end";
}

// A scratch folder removed with the object.
class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() / ("qaudio-test-" + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string path() const { return m_path.string(); }
    std::string write(const std::string& name, const std::string& bytes) const {
        const auto p = m_path / name;
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }

  private:
    std::filesystem::path m_path;
};

inline std::string randomBytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return s;
}

}  // namespace qaudio::test
