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
// lParam and an argument in wParam, and the codes the player answers.
enum {
    WM_WA_IPC = 0x0400,  // WM_USER
    IPC_GETVERSION = 0,
    IPC_DELETE = 101,
    IPC_ISPLAYING = 104,
    IPC_GETOUTPUTTIME = 105,
    IPC_GETLISTLENGTH = 124,
    IPC_GETLISTPOS = 125,
    IPC_GETINFO = 126,
    IPC_GETPLAYLISTFILE = 211,
    IPC_GETPLAYLISTTITLE = 212,
    IPC_GETPLAYLISTTITLEW = 213,
    IPC_GETPLAYLISTFILEW = 214,
    IPC_MBOPEN = 241,
    IPC_GETWND = 260,
    IPC_GET_EXTENDED_FILE_INFO = 290,
    IPC_GETINIFILE = 334,
    IPC_GET_GENSKINBITMAP = 503,
    IPC_GET_EMBEDIF = 505,
    IPC_SETVISWND = 611,
    IPC_VISWND_ACTIVE = 630,
    IPC_VISWND_RELEASE = 631,
    IPC_GET_API_SERVICE = 3025,
    IPC_GET_PLAYING_FILENAME = 3031,
    IPC_GET_PLAYING_TITLE = 3034,
    IPC_PLAYFILE = 100,  // WM_COPYDATA's dwData: lpData holds a file name of cbData bytes
};

// The player's commands, sent as WM_COMMAND with the number in wParam.
enum {
    WINAMP_BUTTON1 = 40044,  // previous
    WINAMP_BUTTON2 = 40045,  // play
    WINAMP_BUTTON3 = 40046,  // pause
    WINAMP_BUTTON4 = 40047,  // stop
    WINAMP_BUTTON5 = 40048,  // next
    WINAMP_VOLUMEUP = 40058,
    WINAMP_VOLUMEDOWN = 40059,
    WINAMP_FFWD5S = 40060,
    WINAMP_REW5S = 40061,
    WINAMP_BUTTON4_SHIFT = 40144,  // rewind
    WINAMP_BUTTON5_SHIFT = 40148,  // forward
};

// IPC_GET_EXTENDED_FILE_INFO's request: the answer replaces `ret` with a pointer to
// the host's text.
typedef struct {
    const char* filename;
    const char* metadata;
    char* ret;
    size_t retlen;
} extendedFileInfoStruct;

// IPC_GET_EMBEDIF: a plug-in's embed state, handed to the embed function.
typedef struct embedWindowState {
    HWND me;  // the window made for the plug-in
    int flags;
    RECT r;  // wanted size when right > left and bottom > top
    void* user_ptr;
    int extra_data[64];
} embedWindowState;
typedef HWND (*embedWindowFunc)(embedWindowState* state);

// A plug-in's window. A plug-in draws into a native window of its own, made on the
// thread that calls its Init, and stands for it with a window of the message layer
// that it creates there with CreateWindowEx: the player places and shows that window
// (its procedure gets WM_MOVE, WM_SIZE and WM_SHOWWINDOW and moves, sizes and maps
// the native window), and the plug-in destroys it with DestroyWindow when its native
// window goes. The plug-in makes it known with
// SendMessage(hwndParent, WM_WA_IPC, window, IPC_SETVISWND) (0 withdraws it); a
// visible window of that thread is also found without it. The stand-in's
// GWLP_USERDATA holds the native window's X11 id.
// A plug-in may instead draw inside a frame the player makes (IPC_GET_EMBEDIF): a
// top-level X11 window with a message-layer window standing for it, whose
// GWLP_USERDATA holds its X11 id. A window named in the embed state is moved into
// the frame, native window included; a child window the plug-in makes in the frame
// is moved into it when the frame is first shown. The player fits the plug-in's
// window to the frame's client area.

#ifdef __cplusplus
}
#endif
