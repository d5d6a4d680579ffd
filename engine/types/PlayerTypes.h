// Small types shared by the engine, the plug-in host and the shell.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The player's state.
enum TPlayerMode : uint8_t {
    plmStandby = 0,  // nothing open
    plmReady = 1,    // a stream is open and has not been started
    plmStopped = 2,
    plmPlaying = 3,
    plmPaused = 4,
};

// "plmReady" and so on.
inline const char* PlayerModeName(TPlayerMode mode) {
    switch (mode) {
        case plmStandby:
            return "plmStandby";
        case plmReady:
            return "plmReady";
        case plmStopped:
            return "plmStopped";
        case plmPlaying:
            return "plmPlaying";
        case plmPaused:
            return "plmPaused";
    }
    return "plmUnknown";
}

// What the open stream is.
enum TStreamKind : uint8_t {
    skNone = 0,
    skStream = 1,  // a library stream from a file or URL
    skCD = 2,      // a CD audio track
    skWMA = 3,     // a WMA or ASF stream
    skMusic = 4,   // a tracker module
};

// 25 spectrum levels, lowest frequencies first.
using TBandOut = std::array<uint16_t, 25>;

// A visualisation plug-in's window as its driver reports it.
struct TVisPluginInfo {
    uint32_t ThreadId = 0;
    void* VisWindow = nullptr;  // HWND
    uint32_t WindowMode = 0;
    std::string PluginFile;
    int32_t ModuleIndex = 0;
    bool FirstStart = false;
};

// Numbered notifications (WM_USER based) posted between the engine's threads.
enum : unsigned {
    WM_STREAM_END = 1131,
    WM_SPECTRUM_READY = 1132,
    WM_META_TITLE = 1134,
    WM_DOWNLOAD_DONE = 1135,
    WM_FEED_BLOCK = 1138,
    WM_PLUGIN_REQUEST = 1139,
    WM_FEED_CHANNEL_LOST = 1144,
    WM_SLIDE_DONE = 1147,
};
