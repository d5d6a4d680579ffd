// Everything libsndfile reads: WAV (PCM, float, ADPCM, ...), AIFF, FLAC,
// Ogg Opus, Ogg FLAC, AU, CAF, W64 and the rest, except MPEG audio, which
// has its own decoder (gapless decoding and ID3 tags), and Ogg streams other
// than Opus and FLAC (Ogg Vorbis has its own decoder too).
//
// Float output (integer formats scaled to [-1, 1]), exact length and
// sample-exact seeking. No tag views.
#pragma once

#include "platform/audio/decoders/InputDecoderFactory.h"

namespace qaudio {

class SndfileDecoderFactory final : public InputDecoderFactory {
public:
    std::unique_ptr<Decoder> openInput(std::unique_ptr<InputFile> in, uint32_t flags) const override;
};

// Limits on what a header may declare: more channels than any output we
// feed, or a rate no audio hardware runs at, marks a broken file.
inline constexpr int kMaxSndfileChannels = 8;
inline constexpr int kMaxSndfileRate = 768000;

}  // namespace qaudio
