// Inspecting a file without opening it for play: its header and tags through the
// media readers, and what only the audio library can tell, into a TStreamInfo.
// Also the pattern list of what the library plays.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/types/StreamInfo.h"

// What the inspection needs to know of the engine.
struct TStreamInfoContext {
    bool BASSReady = false;             // the library is loaded and initialised
    bool CDReady = false;               // the CD add-on is loaded
    bool WMAReady = false;              // the WMA add-on is loaded
    std::vector<std::string> CDDrives;  // "D: product" per drive, drive 0 first
};

// Pattern lists ("*.EXT;" each) of the tracker-module and MIDI file types.
inline constexpr std::string_view kModulePatterns = "*.MO3;*.IT;*.XM;*.S3M;*.MTM;*.MOD;*.UMX;";
inline constexpr std::string_view kMidiPatterns = "*.MID;*.MIDI;*.RMI;*.KAR;";

// The extension of a file name with its dot, upper case; "" when the base name has
// none or only a dot.
std::string StreamFileExt(const std::string& name);
// True when "*" + ext + ";" is one of the patterns (compared exactly).
bool ExtInPatterns(const std::string& ext, std::string_view patterns);

// The pattern list of what the library plays ("*.wav;...;*.umx;" and the add-ons'
// patterns); empty when the library is not ready.
std::string NativeFileExts(const TStreamInfoContext& context);

// Holds one reader of each header class, reused for every file. Calls the library
// through the binding (Dynamic_Bass.h) when the context says it is ready.
class TStreamInfoReader {
  public:
    TStreamInfoReader();
    ~TStreamInfoReader();
    TStreamInfoReader(const TStreamInfoReader&) = delete;
    TStreamInfoReader& operator=(const TStreamInfoReader&) = delete;

    // Fills `info` (a new record for `name`) and returns true when the file's
    // description was obtained.
    bool Read(const std::string& name, TStreamInfo& info, const TStreamInfoContext& context);

    // One reader of each header class; defined where the readers are used.
    struct Readers;

  private:
    std::unique_ptr<Readers> m_readers;
};
