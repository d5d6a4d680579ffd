#include "platform/audio/decoders/BuiltinDecoders.h"

#include "platform/audio/decoders/MpegDecoder.h"
#include "platform/audio/decoders/SndfileDecoder.h"
#include "platform/audio/decoders/VorbisDecoder.h"

namespace qaudio {

std::unique_ptr<Decoder> openNetworkDecoder(std::unique_ptr<InputFile> in, uint32_t flags) {
    if (!in) {
        return nullptr;
    }
    if (in->peek(0, 4) == "OggS") {
        return VorbisDecoderFactory().openInput(std::move(in), flags);
    }
    return MpegDecoderFactory().openInput(std::move(in), flags);
}

std::vector<std::unique_ptr<DecoderFactory>> builtinDecoderFactories() {
    std::vector<std::unique_ptr<DecoderFactory>> list;
    list.push_back(std::make_unique<VorbisDecoderFactory>());
    list.push_back(std::make_unique<SndfileDecoderFactory>());
    list.push_back(std::make_unique<MpegDecoderFactory>());
    return list;
}

}  // namespace qaudio
