// An add-on for the tests: decodes the made-up tone files of ToneFile.h and
// registers itself through the library's plug-in seam.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>

#include "platform/audio/bass_plugin.h"
#include "tests/audio/ToneFile.h"

namespace {

constexpr uint32_t kTagOgg = BASS_TAG_OGG;
constexpr char kComments[] = "TITLE=Tone\0ARTIST=Quillet";

class ToneDecoder : public qaudio::Decoder {
  public:
    ToneDecoder(const tonefile::Header& h, uint64_t size) : m_h(h), m_size(size) {}
    uint32_t sampleRate() const override { return m_h.rate; }
    uint32_t channels() const override { return m_h.channels; }
    uint32_t channelType() const override { return m_h.ctype; }
    std::optional<uint64_t> lengthFrames() const override { return m_h.frames; }
    uint64_t read(float* out, uint64_t frames) override {
        const uint64_t n = std::min({frames, uint64_t(m_h.maxRead), m_h.frames - m_pos});
        for (uint64_t i = 0; i < n; ++i) {
            const uint64_t f = m_pos + i;
            for (uint32_t c = 0; c < m_h.channels; ++c) out[i * m_h.channels + c] = sample(f, c);
        }
        m_pos += n;
        return n;
    }
    bool seek(uint64_t frame) override {
        if (frame > m_h.frames) return false;
        m_pos = frame;
        return true;
    }
    std::optional<std::string_view> tags(uint32_t type) const override {
        if (type == kTagOgg) return std::string_view(kComments, sizeof kComments);
        return std::nullopt;
    }
    uint64_t fileBytePosition() const override { return std::min(m_size, sizeof(tonefile::Header) + m_pos); }
    uint64_t fileSize() const override { return m_size; }

  private:
    float sample(uint64_t f, uint32_t c) const {
        if (m_h.mode == tonefile::kRamp) {
            const float v = float(f % 32768) / 32768.0f;
            return c == 0 ? v : -v;
        }
        const double phase = 2.0 * std::numbers::pi * m_h.frequency * double(f) / m_h.rate;
        const float v = m_h.amplitude * float(std::sin(phase));
        return (m_h.mode == tonefile::kSineHalfRight && c == 1) ? v / 2 : v;
    }
    tonefile::Header m_h;
    uint64_t m_size;
    uint64_t m_pos = 0;
};

class ToneFactory : public qaudio::DecoderFactory {
  public:
    std::unique_ptr<qaudio::Decoder> open(const std::string& path, uint32_t) const override {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (!in) return nullptr;
        const uint64_t size = uint64_t(in.tellg());
        in.seekg(0);
        tonefile::Header h;
        if (!in.read(reinterpret_cast<char*>(&h), sizeof h)) return nullptr;
        if (std::memcmp(h.magic, tonefile::Header{}.magic, sizeof h.magic) != 0) return nullptr;
        if (h.maxRead == 0) return nullptr;
        return std::make_unique<ToneDecoder>(h, size);
    }
};

const ToneFactory g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) int qaudio_plugin_register(const qaudio::PluginHost* host) {
    if (host->abiVersion != qaudio::kPluginAbiVersion) return 0;
    host->addDecoder(host->context, &g_factory);
    return 1;
}
