// The visualisation driver: runs one visualisation plug-in library at a time on a
// thread of its own (the driver thread). It loads the library through its export
// winampVisGetHeader, initialises the chosen module, feeds it the spectrum and
// waveform that the engine's data thread leaves in the shared block, calls its
// Render, follows the window the plug-in draws in (its own, or a frame the driver
// makes when the plug-in asks for one), and tells the engine (codes of
// the registered message, VisData.h). While a plug-in runs, the owner window (the
// main window) answers the plug-in's questions: the driver puts its own procedure in
// front of the window's.
//
// A plug-in is foreign code. A Render that does not return within kRenderHangMs is
// given up: the driver reports the plug-in ended (code 70), puts the owner window's
// procedure back and abandons the thread (it is never waited for again, and the
// library stays loaded, since its code may still be running). Every wait on the
// driver thread is bounded. A plug-in that crashes (a signal) takes the process with
// it: its memory is ours, and nothing sound can continue after that.
//
// Threads: SetVisDriverContext, StartVisDriver, QuitVisDriver and StopVisDriver run
// on the user-interface thread, which owns the owner window; they wait processing
// that thread's messages.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "engine/types/PlayerTypes.h"
#include "engine/types/VisData.h"
#include "platform/win/WinTypes.h"
#include "plugins/WinampVis.h"

void SetVisDriverContext(HWND owner, HWND messageWindow, UINT message, void* drawerLibrary, std::mutex* lock,
                         int priority, VisDataBlock* block);
// Starts the driver thread for module `index` of the library `fileName`; returns its
// identifier, 0 when it did not start. embedTarget, allowEmbed and useDrawer serve
// embedding and the drawer library, which this platform does not have.
DWORD StartVisDriver(const std::string& fileName, int index, HWND embedTarget, const TChannelAttrb& attrs,
                     TPlayerMode mode, bool allowEmbed, bool useDrawer);
// Ends the running plug-in and waits (bounded) for its thread; sends code 70.
void QuitVisDriver();
// The same without the report, at the engine's destruction.
void StopVisDriver();

namespace quillet::plugins {

constexpr uint32_t kRenderHangMs = 1000;
constexpr int kMaxVisModules = 8;

// A driver thread is running (and has not been given up).
bool VisDriverRunning();

// Where a plug-in's own window (size w x h) goes beside the owner window: right of
// it, else left of it (both at a height that overlaps the owner), else above, else
// below it, always wholly inside the work area (all in screen coordinates).
RECT PlaceBesideOwner(const RECT& owner, int width, int height, const RECT& workArea);

// r moved (its size kept) so that it lies wholly inside area; one larger than area
// starts at area's left or top.
RECT KeepInside(const RECT& r, const RECT& area);

// The function a plug-in gets for IPC_GET_EMBEDIF with 0: makes the driver's frame
// window (on the driver thread, whichever thread calls) for the running plug-in.
embedWindowFunc VisEmbedFunction();

// The top-left corner of a frame window of width x height made for an embed
// request: above the owner when there is one, else centred on the screen (for the
// default size when the request has no state).
POINT EmbedFramePosition(const RECT* owner, bool hasState, int width, int height, int screenWidth,
                         int screenHeight);

}  // namespace quillet::plugins
