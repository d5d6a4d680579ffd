// Tracker modules (MOD, MTM, S3M, XM, IT, UMX, MO3 and the other formats
// libopenmpt reads) rendered by libopenmpt.
//
// Output is stereo float at kMusicRate. The song plays once (no repeat).
// The length comes from libopenmpt's scan of the song and is made exact:
// the decoder delivers exactly that many frames, padding a short render
// with silence and cutting a long one. A seek up to 10 s ahead renders its
// way there and is exact. Other seeks jump to the start of the row at the
// target and render forward to the frame: exact in position, but the notes
// already sounding resume only approximately (libopenmpt restores their
// sample positions from the row, not to the sample). Tags: kTagMusicName is
// the song name, kTagMusicMessage the message text (the sample names for
// formats without one), each one NUL-terminated UTF-8 string.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/Decoder.h"
#include "platform/audio/decoders/InputFile.h"

namespace qaudio {

// The rate modules are rendered at.
inline constexpr uint32_t kMusicRate = 44100;
// Modules are loaded whole into memory; the largest accepted (real modules
// are a few megabytes, MO3 files with long samples tens).
inline constexpr uint64_t kMaxModuleBytes = 64 * 1024 * 1024;
// A song declared longer than this gets no length (a loop the scan could
// not resolve); it then plays until libopenmpt ends it.
inline constexpr double kMaxMusicSeconds = 24 * 3600.0;

// Opens a tracker module; nullptr (quietly) when the file is not one libopenmpt
// reads. `flags`: codes::kMusicRamps smooths volume changes; the length is
// always the scanned one, so codes::kMusicPrescan changes nothing.
// Thread-safe.
std::unique_ptr<Decoder> openMusic(const std::string& path, uint32_t flags);
std::unique_ptr<Decoder> openMusicInput(std::unique_ptr<InputFile> in, uint32_t flags);

}  // namespace qaudio
