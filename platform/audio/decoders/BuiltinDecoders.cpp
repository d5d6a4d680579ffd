#include "platform/audio/decoders/BuiltinDecoders.h"

#include "platform/audio/decoders/MpegDecoder.h"

namespace qaudio {

std::vector<std::unique_ptr<DecoderFactory>> builtinDecoderFactories() {
    std::vector<std::unique_ptr<DecoderFactory>> list;
    list.push_back(std::make_unique<MpegDecoderFactory>());
    return list;
}

}  // namespace qaudio
