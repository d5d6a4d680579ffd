// The numbers the decoders report to the core: channel-type codes, tag types
// and the open flags they look at. The core's public header defines the same
// values under their public names; these are the decoders' own copy so the
// decoder library builds on its own.
#pragma once

#include <cstdint>

namespace qaudio::codes {

// Channel types (BASS_ChannelGetInfo's ctype).
inline constexpr uint32_t kCtypeOggVorbis = 0x10002;
inline constexpr uint32_t kCtypeMp1 = 0x10003;
inline constexpr uint32_t kCtypeMp2 = 0x10004;
inline constexpr uint32_t kCtypeMp3 = 0x10005;
// Formats read through libsndfile.
inline constexpr uint32_t kCtypeWavPcm = 0x10010;    // integer PCM
inline constexpr uint32_t kCtypeWavFloat = 0x10011;  // IEEE float
inline constexpr uint32_t kCtypeWavOther = 0x10012;  // ADPCM, A-law, ...
inline constexpr uint32_t kCtypeAiff = 0x10013;
inline constexpr uint32_t kCtypeFlac = 0x10014;
inline constexpr uint32_t kCtypeOggFlac = 0x10015;
inline constexpr uint32_t kCtypeOpus = 0x10016;
inline constexpr uint32_t kCtypeSndfileOther = 0x1001F;  // AU, CAF, W64, VOC, ...
// Tracker modules; kCtypeMusicMo3 is or-ed in for a module from an MO3 file.
inline constexpr uint32_t kCtypeMusicMod = 0x20001;
inline constexpr uint32_t kCtypeMusicMtm = 0x20002;
inline constexpr uint32_t kCtypeMusicS3m = 0x20003;
inline constexpr uint32_t kCtypeMusicXm = 0x20004;
inline constexpr uint32_t kCtypeMusicIt = 0x20005;
inline constexpr uint32_t kCtypeMusicOther = 0x2000F;
inline constexpr uint32_t kCtypeMusicMo3 = 0x00100;

// Tag types (BASS_ChannelGetTags).
inline constexpr uint32_t kTagId3 = 0;                 // the 128-byte ID3v1 block
inline constexpr uint32_t kTagId3v2 = 1;               // the whole ID3v2 block, header included
inline constexpr uint32_t kTagOgg = 2;                 // Vorbis comments, "KEY=value" series
inline constexpr uint32_t kTagVendor = 9;              // the Vorbis encoder's vendor string
inline constexpr uint32_t kTagMusicName = 0x10000;     // a module's song name
inline constexpr uint32_t kTagMusicMessage = 0x10001;  // a module's message text

// Open flags the decoders look at.
inline constexpr uint32_t kStreamPrescan = 0x20000;  // exact length even if it means a scan
inline constexpr uint32_t kMusicRamps = 0x400;       // volume ramping in modules
inline constexpr uint32_t kMusicPrescan = 0x20000;   // exact module length

}  // namespace qaudio::codes
