// MPEG-1/2/2.5 audio layers I, II and III through libmpg123.
//
// Output is float at the stream's own rate and channel count. Decoding is
// gapless: the encoder delay and padding that a LAME/Info header declares
// are removed, so the length equals the encoder's input. Seeking is exact to
// the sample, and the samples after a seek are bit-identical to a straight
// decode (mono MPEG-2/2.5 streams: within 1e-6, libmpg123's mono synthesis
// rounds the last bit by its history). The length is exact: a file with a
// Xing/Info/VBRI header takes it from there, unless the caller asks for a
// prescan (kStreamPrescan, which also finds the true end of a truncated
// file); a file without one is scanned when it is opened (a stream still
// arriving is not: its length is the estimate). The first seek of
// an unscanned stream scans the file once so that a seek beyond the true end
// fails.
//
// Tags: kTagId3 is the file's trailing 128-byte ID3v1 block, kTagId3v2 the
// raw ID3v2 block at its start (header included).
#pragma once

#include "platform/audio/decoders/InputDecoderFactory.h"

namespace qaudio {

class MpegDecoderFactory final : public InputDecoderFactory {
public:
    std::unique_ptr<Decoder> openInput(std::unique_ptr<InputFile> in, uint32_t flags) const override;
};

// The largest ID3v2 block kept for kTagId3v2; a larger one (cover art of
// several megabytes is common, hundreds are not) is skipped but not kept, so
// a hostile size field cannot make the decoder allocate without bound.
inline constexpr uint64_t kMaxId3v2TagBytes = 16 * 1024 * 1024;

}  // namespace qaudio
