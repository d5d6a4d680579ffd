// The formats the core library decodes itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/decoders/MusicDecoder.h"

namespace qaudio {

// One factory per built-in stream format, in the order the core should probe
// them: formats recognised by a signature first (Ogg Vorbis, then what
// libsndfile reads), MPEG audio (recognised by its frame headers, a weaker
// test) last. Each call makes new factories. Tracker modules are not among
// them: they open through openMusic() (MusicDecoder.h).
std::vector<std::unique_ptr<DecoderFactory>> builtinDecoderFactories();

}  // namespace qaudio
