// The hook library: watches the desktop's taskbar and tells the mini window
// when to place itself, by posting it WM_USER through the message layer.
//
// The library has its own X connection and thread. The message layer's
// functions (PostMessage) are resolved from the executable that loads it
// (linked with quillet_win_host). All three functions are called on the
// user-interface thread; their results are ignored by the program.
#pragma once

#include "platform/win/WinTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUILLET_HOOK_API __attribute__((visibility("default")))

// Starts watching for the window hwnd, whose width is width pixels (mode and
// height are accepted and not used: the strip keeps its own height). Posts
// WM_USER to hwnd soon after, when a taskbar is found, and again whenever the
// taskbar moves, is resized, its tray icons change, it is restarted, a taskbar
// appears or the taskbar goes away (so the window can float). With no taskbar
// at all it posts nothing. FALSE when there is no X server to watch (nothing
// will be posted); a second HookStart replaces the first.
QUILLET_HOOK_API BOOL HookStart(HWND hwnd, int mode, int width, int height);
// The window's new width; it is placed again (WM_USER) when a taskbar is there.
QUILLET_HOOK_API BOOL HookChangeSize(int width, int flags);
// Stops watching: no message is posted after it returns.
QUILLET_HOOK_API BOOL HookEnd(void);

#ifdef __cplusplus
}
#endif
