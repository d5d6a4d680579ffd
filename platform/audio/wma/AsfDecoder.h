// WMA and MP3-in-ASF streams decoded with FFmpeg (libavformat's ASF demuxer,
// libavcodec's WMA decoders). Files are read through our own descriptor, so
// no FFmpeg protocol touches the path; URLs go through FFmpeg's network
// protocols (mmsh, mmst, http).
//
// The channel length is the true one: the play duration of the ASF file
// properties less the preroll, as the demuxer reports it, or, with
// BASS_STREAM_PRESCAN, the count of decoded frames. Seeks are exact to the
// millisecond the ASF timestamps give.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/Decoder.h"

namespace qwma {

// Opens an ASF file; nullptr when it is not one we decode (no audio stream of
// a WMA codec or MP3, damaged header, unusable format). Quiet.
std::unique_ptr<qaudio::Decoder> openAsfFile(const std::string& path, uint32_t flags);
// The same over bytes in memory (the fuzz harness); the bytes must outlive
// the decoder.
std::unique_ptr<qaudio::Decoder> openAsfMemory(const uint8_t* data, size_t size, uint32_t flags);
// Opens a network stream. "mms://" tries mmsh (MMS over HTTP) first, then
// mmst (MMS over TCP); "mmsh://", "mmst://", "http://" and "https://" are
// opened as they are. Blocks up to the network timeout; nullptr on failure.
std::unique_ptr<qaudio::Decoder> openAsfUrl(const std::string& url, uint32_t flags);

}  // namespace qwma
