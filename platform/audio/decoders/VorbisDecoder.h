// Ogg Vorbis through libvorbisfile.
//
// Float output at the stream's rate and channel count; exact length and
// sample-exact seeking (the file is always seekable). A chained file plays
// its links while they keep the first link's rate and channel count and
// ends at the first link that changes them.
//
// Tags: kTagOgg is the first link's comments as "KEY=value" strings, each
// ended by a NUL, the series ended by an empty string; kTagVendor the
// encoder's vendor string (one NUL-terminated string).
#pragma once

#include "platform/audio/decoders/InputDecoderFactory.h"

namespace qaudio {

class VorbisDecoderFactory final : public InputDecoderFactory {
  public:
    std::unique_ptr<Decoder> openInput(std::unique_ptr<InputFile> in, uint32_t flags) const override;
};

// Channels accepted: Vorbis allows 255, the players we feed mix at most 8.
inline constexpr int kMaxVorbisChannels = 8;

}  // namespace qaudio
