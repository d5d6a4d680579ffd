// The seam between the CD add-on (libbasscd.so, loaded at every start) and its
// disc-reading half (libbasscd-cdio.so, beside it), which links libcdio and is
// loaded when a disc is first read. Both halves are built together.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/Decoder.h"

#define QCD_BACKEND_LIBRARY "libbasscd-cdio.so"

namespace qcd {

// 16-bit stereo at 44100 Hz: 2352 bytes, 588 frames per sector.
constexpr uint32_t kSectorBytes = 2352;
constexpr uint32_t kSectorFrames = kSectorBytes / 4;

// The table of contents of the disc in a drive (or a disc image), read once
// when it is opened. Tracks are numbered from 0.
class Disc {
  public:
    virtual ~Disc() = default;
    virtual uint32_t trackCount() const = 0;
    virtual bool isAudio(uint32_t track) const = 0;
    virtual uint32_t trackSectors(uint32_t track) const = 0;
    // A decoder of an audio track that reads the disc on its own; nullptr
    // when the track is not audio or the disc cannot be opened again.
    virtual std::unique_ptr<qaudio::Decoder> openTrack(uint32_t track) const = 0;
};

}  // namespace qcd

extern "C" {
// Opens the disc in `device` (a device path or a .cue/.toc/.nrg image);
// nullptr when there is no readable disc. The caller owns the result.
typedef qcd::Disc* (*qcd_open_disc_t)(const char* device);
}
