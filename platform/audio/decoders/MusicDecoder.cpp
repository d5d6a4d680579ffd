#include "platform/audio/decoders/MusicDecoder.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/audio/decoders/Codes.h"

namespace qaudio {

namespace {

struct ModuleDeleter {
    void operator()(openmpt_module* m) const { openmpt_module_destroy(m); }
};
using ModulePtr = std::unique_ptr<openmpt_module, ModuleDeleter>;

struct StringDeleter {
    void operator()(const char* s) const { openmpt_free_string(s); }
};

std::string metadata(openmpt_module* mod, const char* key) {
    const std::unique_ptr<const char, StringDeleter> value(openmpt_module_get_metadata(mod, key));
    return value ? std::string(value.get()) : std::string();
}

uint32_t channelTypeOf(openmpt_module* mod) {
    const std::string type = metadata(mod, "type");
    uint32_t ctype = type == "mod"   ? codes::kCtypeMusicMod
                     : type == "mtm" ? codes::kCtypeMusicMtm
                     : type == "s3m" ? codes::kCtypeMusicS3m
                     : type == "xm"  ? codes::kCtypeMusicXm
                     : type == "it"  ? codes::kCtypeMusicIt
                                     : codes::kCtypeMusicOther;
    if (metadata(mod, "container") == "mo3") {
        ctype |= codes::kCtypeMusicMo3;
    }
    return ctype;
}

class MusicDecoder final : public Decoder {
  public:
    MusicDecoder(ModulePtr mod, uint64_t fileSize) : m_mod(std::move(mod)), m_fileSize(fileSize) {
        m_ctype = channelTypeOf(m_mod.get());
        m_name = metadata(m_mod.get(), "title");
        m_message = metadata(m_mod.get(), "message");
        const double seconds = openmpt_module_get_duration_seconds(m_mod.get());
        if (std::isfinite(seconds) && seconds >= 0 && seconds <= kMaxMusicSeconds) {
            m_length = static_cast<uint64_t>(std::llround(seconds * kMusicRate));
        }
    }

    uint32_t sampleRate() const override { return kMusicRate; }
    uint32_t channels() const override { return 2; }
    uint32_t channelType() const override { return m_ctype; }
    std::optional<uint64_t> lengthFrames() const override { return m_length; }

    uint64_t read(float* out, uint64_t frames) override {
        if (m_length) {
            frames = std::min(frames, *m_length - m_pos);
        }
        uint64_t done = render(out, frames);
        if (m_length && done < frames) {
            // The render ended a little before the scanned length.
            std::fill(out + done * 2, out + frames * 2, 0.0f);
            done = frames;
        }
        m_pos += done;
        return done;
    }

    bool seek(uint64_t frame) override {
        if (m_length && frame > *m_length) {
            return false;
        }
        uint64_t skip = 0;
        if (frame >= m_pos && frame - m_pos <= kMaxForwardRender) {
            // A short way ahead: render up to it, which is exact.
            skip = frame - m_pos;
        } else {
            // libopenmpt jumps to the start of the row at the target, then
            // renders forward to the frame. For a target in the last row it
            // may land past the target (at the song's end); jumping to an
            // earlier time and rendering further fixes that.
            const double target = static_cast<double>(frame) / kMusicRate;
            double back = 0;
            double rowStart = openmpt_module_set_position_seconds(m_mod.get(), target);
            while (rowStart > target && back < target) {
                back = back == 0 ? 1.0 : back * 2;
                rowStart = openmpt_module_set_position_seconds(m_mod.get(), std::max(0.0, target - back));
            }
            if (rowStart > target) {
                rowStart = openmpt_module_set_position_seconds(m_mod.get(), 0.0);
            }
            if (rowStart < target) {
                skip = static_cast<uint64_t>(std::llround((target - rowStart) * kMusicRate));
            }
        }
        std::vector<float> scratch(2 * 4096);
        while (skip > 0) {
            const uint64_t got = render(scratch.data(), std::min<uint64_t>(skip, 4096));
            if (got == 0) {
                break;
            }
            skip -= got;
        }
        m_pos = frame;
        return true;
    }

    std::optional<std::string_view> tags(uint32_t type) const override {
        const std::string* text = type == codes::kTagMusicName      ? &m_name
                                  : type == codes::kTagMusicMessage ? &m_message
                                                                    : nullptr;
        if (text == nullptr || text->empty()) {
            return std::nullopt;
        }
        // One NUL-terminated string.
        return std::string_view(text->c_str(), text->size() + 1);
    }

    // The module is read whole when it is opened.
    uint64_t fileBytePosition() const override { return m_fileSize; }
    uint64_t fileSize() const override { return m_fileSize; }

  private:
    // How far ahead a seek renders its way instead of jumping (10 s: a few
    // milliseconds of rendering).
    static constexpr uint64_t kMaxForwardRender = 10 * kMusicRate;

    uint64_t render(float* out, uint64_t frames) {
        uint64_t done = 0;
        while (done < frames) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(frames - done, 65536));
            const size_t got =
                openmpt_module_read_interleaved_float_stereo(m_mod.get(), kMusicRate, want, out + done * 2);
            if (got == 0) {
                break;
            }
            done += got;
        }
        return done;
    }

    ModulePtr m_mod;
    uint64_t m_fileSize;
    uint32_t m_ctype = 0;
    std::optional<uint64_t> m_length;
    uint64_t m_pos = 0;
    std::string m_name;  // UTF-8, as libopenmpt gives it
    std::string m_message;
};

}  // namespace

std::unique_ptr<Decoder> openMusicInput(std::unique_ptr<InputFile> in, uint32_t flags) {
    if (!in || in->size() == 0 || in->size() > kMaxModuleBytes) {
        return nullptr;
    }
    const std::string bytes = in->peek(0, static_cast<size_t>(in->size()));
    if (bytes.size() != in->size()) {
        return nullptr;
    }
    ModulePtr mod(openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                     nullptr, openmpt_error_func_ignore, nullptr, nullptr,
                                                     nullptr, nullptr));
    if (!mod) {
        return nullptr;
    }
    openmpt_module_set_repeat_count(mod.get(), 0);
    // A seek restores the notes that are sounding at the target (a note
    // started rows before keeps playing), not only the row's new ones.
    openmpt_module_ctl_set_boolean(mod.get(), "seek.sync_samples", 1);
    // Without ramping, volume changes take effect at once.
    openmpt_module_set_render_param(mod.get(), OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                    (flags & codes::kMusicRamps) != 0 ? -1 : 0);
    return std::make_unique<MusicDecoder>(std::move(mod), bytes.size());
}

std::unique_ptr<Decoder> openMusic(const std::string& path, uint32_t flags) {
    return openMusicInput(InputFile::openPath(path), flags);
}

}  // namespace qaudio
