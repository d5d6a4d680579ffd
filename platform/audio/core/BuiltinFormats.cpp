// The formats built into the core library: the decoders of
// platform/audio/decoders when that target is part of the build.
#include "platform/audio/core/Decoders.h"

#if defined(QUILLET_AUDIO_HAVE_DECODERS)
#include "platform/audio/decoders/BuiltinDecoders.h"
#include "platform/audio/decoders/MusicDecoder.h"
#endif

namespace qaudio {

#if defined(QUILLET_AUDIO_HAVE_DECODERS)
namespace {
// Tracker modules open through their own entry point; as a factory they join
// the probe order after the stream formats (BASS_MusicLoad takes only them).
class MusicFactory : public DecoderFactory {
  public:
    std::unique_ptr<Decoder> open(const std::string& path, uint32_t flags) const override {
        return openMusic(path, flags);
    }
};
}  // namespace
#endif

void registerBuiltinFormats([[maybe_unused]] DecoderRegistry& registry) {
#if defined(QUILLET_AUDIO_HAVE_DECODERS)
    for (auto& factory : builtinDecoderFactories())
        registry.addBuiltin(std::move(factory), DecoderRegistry::Kind::Streams);
    registry.addBuiltin(std::make_unique<MusicFactory>(), DecoderRegistry::Kind::Music);
#endif
}

}  // namespace qaudio
