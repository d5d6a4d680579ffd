// The formats the core library decodes itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/Decoder.h"

namespace qaudio {

// One factory per built-in stream format, in the order the core should probe
// them: formats recognised by a signature first, MPEG audio (recognised by
// its frame headers, a weaker test) last. Each call makes new factories.
std::vector<std::unique_ptr<DecoderFactory>> builtinDecoderFactories();

}  // namespace qaudio
