// The visualisation plug-in interface: the header and module records a plug-in
// library hands out through its one export, winampVisGetHeader. The layout is
// the published one, so plug-ins written for it build unchanged; on this
// platform a plug-in is a shared library and its window handles are those of
// the message layer. Plain C, shared by the host and by plug-ins.
#pragma once

#include "platform/win/WinTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VIS_HDRVER = 0x101,
    VIS_SAMPLES = 576,  // bytes per spectrum or waveform channel
    VIS_MAX_MODULES = 8,
};

typedef struct winampVisModule {
    char* description;
    HWND hwndParent;  // the player's main window
    HINSTANCE hDllInstance;
    int sRate;
    int nCh;
    int latencyMs;    // how far ahead of the sound the data should be taken
    int delayMs;      // the pace of Render, in milliseconds
    int spectrumNch;  // 0, 1 or 2
    int waveformNch;  // 0, 1 or 2
    unsigned char spectrumData[2][VIS_SAMPLES];
    unsigned char waveformData[2][VIS_SAMPLES];
    void (*Config)(struct winampVisModule* module);
    int (*Init)(struct winampVisModule* module);    // 0 on success
    int (*Render)(struct winampVisModule* module);  // 0 to go on, 1 to end
    void (*Quit)(struct winampVisModule* module);
    void* userData;
} winampVisModule;

typedef struct winampVisHeader {
    int version;  // VIS_HDRVER
    char* description;
    winampVisModule* (*getModule)(int index);  // NULL past the last module
} winampVisHeader;

typedef winampVisHeader* (*winampVisGetHeaderType)(void);

// The message a plug-in sends to the player's main window with an IPC code in
// lParam, and the codes a visualisation uses most.
enum {
    WM_WA_IPC = 0x0400,  // WM_USER
    IPC_GETVERSION = 0,
    IPC_ISPLAYING = 104,
    IPC_GETOUTPUTTIME = 105,
    IPC_SETVISWND = 611,
};

#ifdef __cplusplus
}
#endif
