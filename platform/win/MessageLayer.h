// The C++ side of the window-message layer: queue ownership, the waits that keep
// processing messages, the hooks an event loop (Qt) uses to pump a thread's queue,
// and the handles of windows whose geometry lives elsewhere (our forms, foreign
// windows of the desktop). The Win32-named functions are in WinApi.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/win/WinApi.h"

namespace quillet::win {

// Gives the calling thread its message queue now (it gets one anyway the first time
// it uses a message function) and returns the thread's identifier. A thread's queue
// lives until the thread ends; then messages sent to it return 0, posts fail with
// ERROR_INVALID_THREAD_ID and its windows are gone.
DWORD EnsureThreadQueue();

// Handles every message pending in the calling thread's queue when it is called
// (messages sent from other threads, posted messages, due timers) and, when an event
// loop integration is installed on this thread, that loop's pending events. Messages
// posted by the handlers themselves wait for the next call, so a handler that posts to
// itself cannot keep a wait spinning here.
// A quit message (PostQuitMessage or a posted WM_QUIT) is removed without being
// dispatched, stops the call and is remembered: the loop that owns the thread
// (GetMessage, PeekMessage, RunMessageLoop, the Qt pump) then ends once the wait that
// called ProcessMessages has returned. Later calls keep handling other messages.
// Re-entrant: handlers may wait (and call ProcessMessages) themselves.
// Returns true when a quit is remembered.
bool ProcessMessages();

// True while a quit met by ProcessMessages has not yet ended the thread's loop.
bool QuitRequested();

// How many waits (ProcessMessages, cross-thread SendMessage) are active on the calling
// thread's stack. Code that must not destroy an object whose code may still be waiting
// (closing the main form) defers while this is not 0.
int MessageWaitDepth();

// The headless loop: GetMessage, TranslateMessage, DispatchMessage until the quit
// message; returns its exit code.
int RunMessageLoop();

// Plugs another event loop into a thread's queue (the Qt unit implements it).
class EventLoopIntegration {
  public:
    virtual ~EventLoopIntegration() = default;
    // Called from any thread, possibly with the layer's locks released but from inside
    // PostMessage/SendMessage/SetTimer: the queue has something new (a message, a quit,
    // a changed timer). Must be cheap, thread-safe, must not block and must not call
    // into the layer; it arranges for PumpMessages to run soon on the owner thread.
    virtual void wake() = 0;
    // Called on the owner thread by ProcessMessages: handle the loop's pending events.
    virtual void processEvents() = 0;
};

// Installs (or with nullptr removes) the integration of the calling thread's queue.
// The layer keeps a reference until it is replaced or the thread ends.
void InstallEventLoopIntegration(std::shared_ptr<EventLoopIntegration> integration);

// For integrations, on the owner thread: handles what is pending as ProcessMessages
// does, without calling processEvents. Returns the exit code when a quit is pending
// or remembered (and forgets it: the caller ends its loop), else nothing.
std::optional<int> PumpMessages();

// When the next timer of the calling thread falls due (nothing when it has none).
std::optional<std::chrono::steady_clock::time_point> NextTimerDue();

// Geometry and visibility of a window whose real window lives elsewhere: a Qt form
// (implemented by the Qt unit over its widget) or a foreign desktop window
// (implemented by platform/desktop). Coordinates are screen pixels.
// For a form the layer calls these on the window's owner thread only (calls from other
// threads are carried there like a sent message); for a foreign window on the calling
// thread, so that implementation must be thread-safe. None may call back into the
// layer for the same window.
class WindowSurface {
  public:
    virtual ~WindowSurface() = default;
    virtual RECT frame() const = 0;
    virtual RECT client() const = 0;  // client area, relative to itself (left = top = 0)
    virtual void setFrame(const RECT& frame) = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual std::uint64_t nativeId() const = 0;  // X11 window id, 0 when none yet
};

// Gives a window of ours (created with CreateWindowEx by its owner thread) its
// surface. The layer keeps a reference until the window is destroyed or the surface
// is replaced; nullptr detaches it. Owner thread only.
bool AttachWindowSurface(HWND hwnd, std::shared_ptr<WindowSurface> surface);

// The X11 id of a window that has a surface (0 for the others, and for a form whose
// native window does not exist yet). From any thread, as GetWindowRect.
std::uint64_t NativeWindowId(HWND hwnd);

// A handle for a foreign native window (not ours: no procedure, no queue; messages to
// it fail with ERROR_INVALID_WINDOW_HANDLE). The same native id gives the same handle
// while it is registered. FindWindow finds it by class and title.
HWND RegisterForeignWindow(std::uint64_t nativeId, const std::string& className, const std::string& title,
                           std::shared_ptr<WindowSurface> surface);
HWND FindForeignWindow(std::uint64_t nativeId);
// Forgets a foreign window (it went away): IsWindow becomes false.
bool ForgetForeignWindow(HWND hwnd);

}  // namespace quillet::win
