// The formats the core library decodes itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/decoders/InputFile.h"
#include "platform/audio/decoders/MusicDecoder.h"

namespace qaudio {

// One factory per built-in stream format, in the order the core should probe
// them: formats recognised by a signature first (Ogg Vorbis, then what
// libsndfile reads), MPEG audio (recognised by its frame headers, a weaker
// test) last. Each call makes new factories. Tracker modules are not among
// them: they open through openMusic() (MusicDecoder.h).
std::vector<std::unique_ptr<DecoderFactory>> builtinDecoderFactories();

// Opens a stream that arrives over the network (Ogg Vorbis or MPEG audio,
// the formats radio stations send): recognised by its first bytes. The
// input may be sequential (InputFile::sequential). nullptr when neither
// format recognises it.
std::unique_ptr<Decoder> openNetworkDecoder(std::unique_ptr<InputFile> in, uint32_t flags);

}  // namespace qaudio
