// The formats built into the core library: the decoders of
// platform/audio/decoders when that target is part of the build.
#include "platform/audio/core/Decoders.h"

#if defined(QUILLET_AUDIO_HAVE_DECODERS)
#include "platform/audio/decoders/Builtin.h"
#endif

namespace qaudio {

void registerBuiltinFormats([[maybe_unused]] DecoderRegistry& registry) {
#if defined(QUILLET_AUDIO_HAVE_DECODERS)
    for (auto& factory : builtinDecoderFactories()) registry.addBuiltin(std::move(factory));
#endif
}

}  // namespace qaudio
