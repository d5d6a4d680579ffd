// Recognition of MPEG audio files (ISO/IEC 11172-3, ISO/IEC 13818-3 and the
// MPEG 2.5 extension) before they are handed to the decoder, plus the
// location of their ID3 tags.
//
// The decoder library resynchronises leniently and would "find" frames in
// almost any file; probeMpeg() accepts a file only when a run of consistent
// frame headers (same version, layer and sample rate, each frame starting
// where the previous one ends) begins near the start, after any ID3v2 tags.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/audio/decoders/InputFile.h"

namespace qaudio {

struct MpegFrameHeader {
    int version = 0;          // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
    int layer = 0;            // 1, 2 or 3
    uint32_t bitrate = 0;     // bit/s
    uint32_t sampleRate = 0;  // Hz
    uint32_t channels = 0;
    uint32_t length = 0;  // bytes, header included
};

// Decodes the 4-byte header at `b`; nullopt for anything that is not a
// complete header of a fixed-bitrate frame (free format is not accepted).
std::optional<MpegFrameHeader> parseMpegFrameHeader(const uint8_t* b);

struct MpegLayout {
    uint64_t id3v2Size = 0;   // bytes of ID3v2 tag(s) at the start (0: none)
    uint64_t firstFrame = 0;  // offset of the first frame of the run found
    uint64_t audioEnd = 0;    // end of the audio data (before an ID3v1 tag)
    bool hasId3v1 = false;    // the last 128 bytes are an ID3v1 tag
    MpegFrameHeader first;
};

// Frames that must follow each other for a file to count as MPEG audio
// (a shorter file must consist of frames up to its end).
inline constexpr int kMpegRunFrames = 4;
// How far past the ID3v2 tags the first frame may start: encoders and
// taggers leave some padding or junk, but a file whose audio starts later
// than this is not treated as MPEG.
inline constexpr uint64_t kMpegSearchBytes = 64 * 1024;

// Recognises the file; nullopt when it is not MPEG audio. Leaves the cursor
// anywhere.
std::optional<MpegLayout> probeMpeg(InputFile& in);

}  // namespace qaudio
