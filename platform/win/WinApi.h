// The window-message layer's C functions, under their Win32 names.
//
// Threads. Every thread may call every function. A thread gets its message queue the
// first time it creates a window, posts, sends, sets a timer or reads its queue
// (GetMessage, PeekMessage, ProcessMessages...), or explicitly with EnsureThreadQueue
// (MessageLayer.h). A window belongs to the thread that created it: its procedure runs
// on that thread only, and only that thread may destroy it or set timers on it.
//
// Blocking. PostMessage and PostThreadMessage never block. SendMessage to a window of
// the calling thread calls its procedure directly; to a window of another thread it
// blocks until that thread handles the message while it pumps (GetMessage,
// PeekMessage, WaitMessage, ProcessMessages, the Qt pump) or while it waits in a
// SendMessage of its own. A sending thread handles messages sent to it meanwhile, so
// two threads that send to each other do not deadlock. GetMessage and WaitMessage
// block until there is something to do. Window procedures may call back into the layer.
//
// Errors. A failing function returns 0/FALSE (GetMessage -1) and sets the calling
// thread's error code (GetLastError), one of the ERROR_* constants of WinTypes.h.
//
// Text is UTF-8; buffer sizes are in bytes, and text is never cut inside a character.
//
// These functions have C linkage and default visibility: an executable that links the
// layer with quillet_win_host() exports them, so plug-in libraries resolve them when
// they are loaded.
#pragma once

#include "platform/win/WinTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUILLET_WIN_API __attribute__((visibility("default")))

// Errors and identities.
QUILLET_WIN_API DWORD GetLastError(void);
QUILLET_WIN_API void SetLastError(DWORD code);
QUILLET_WIN_API DWORD GetCurrentThreadId(void);
QUILLET_WIN_API DWORD GetTickCount(void);

// Classes and windows.
QUILLET_WIN_API ATOM RegisterClass(const WNDCLASS* wc);
QUILLET_WIN_API BOOL UnregisterClass(const char* className, HINSTANCE instance);
// parent HWND_MESSAGE makes a message-only window (not found by FindWindow or
// EnumWindows). Another parent makes a child window when style has WS_CHILD;
// without WS_CHILD the new window is top-level and owned by that window: GetParent
// returns its owner, and destroying the owner destroys it. WS_VISIBLE in style shows the window at once. The
// procedure gets WM_NCCREATE and WM_CREATE; -1 from WM_CREATE (or 0 from WM_NCCREATE) fails the call.
QUILLET_WIN_API HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                                    int x, int y, int width, int height, HWND parent, HMENU menu,
                                    HINSTANCE instance, void* param);
QUILLET_WIN_API HWND CreateWindow(const char* className, const char* windowName, DWORD style, int x, int y,
                                  int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                  void* param);
// Owner thread only. Sends WM_DESTROY and WM_NCDESTROY, kills the window's timers and
// destroys its child windows first. Messages already queued for it are dropped.
QUILLET_WIN_API BOOL DestroyWindow(HWND hwnd);
QUILLET_WIN_API BOOL IsWindow(HWND hwnd);
// Among the layer's top-level windows that are not message-only: the first (oldest)
// whose class matches className and, when windowName is not NULL, whose text equals
// windowName (both compared without regard to ASCII case). Either may be NULL.
QUILLET_WIN_API HWND FindWindow(const char* className, const char* windowName);
// Child windows of parent (NULL: top-level windows) after childAfter, as FindWindow.
QUILLET_WIN_API HWND FindWindowEx(HWND parent, HWND childAfter, const char* className,
                                  const char* windowName);
// Top-level windows that are not message-only, oldest first; stops when proc returns FALSE.
QUILLET_WIN_API BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam);
QUILLET_WIN_API DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);
QUILLET_WIN_API int GetClassName(HWND hwnd, char* buffer, int size);
QUILLET_WIN_API HWND GetParent(HWND hwnd);
// Makes hwnd a child of newParent (NULL: a top-level window again, owned by nothing);
// its rectangle is kept as it is. Returns the previous parent (as GetParent), NULL
// on failure. Neither window may be foreign, and a window cannot become its own
// parent or a child of one of its children.
QUILLET_WIN_API HWND SetParent(HWND hwnd, HWND newParent);

// Window procedures and window data. GWLP_WNDPROC may be replaced from any thread; the
// new procedure handles every message dispatched or sent afterwards.
QUILLET_WIN_API LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
QUILLET_WIN_API LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
QUILLET_WIN_API LONG GetWindowLong(HWND hwnd, int index);
QUILLET_WIN_API LONG SetWindowLong(HWND hwnd, int index, LONG value);
QUILLET_WIN_API LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Default handling: WM_GETTEXT, WM_GETTEXTLENGTH, WM_SETTEXT from the window's text,
// WM_CLOSE destroys the window, WM_NCCREATE answers TRUE, WM_QUERYENDSESSION TRUE,
// everything else 0.
QUILLET_WIN_API LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Window text (sends WM_GETTEXT / WM_GETTEXTLENGTH / WM_SETTEXT).
QUILLET_WIN_API int GetWindowText(HWND hwnd, char* buffer, int size);
QUILLET_WIN_API int GetWindowTextLength(HWND hwnd);
QUILLET_WIN_API BOOL SetWindowText(HWND hwnd, const char* text);

// Geometry and visibility: from the window's surface for forms and foreign windows
// (MessageLayer.h), kept by the layer for the others. ShowWindow sends WM_SHOWWINDOW
// when the visibility changes. A move or resize first sends WM_WINDOWPOSCHANGING,
// whose procedure may change the place, then WM_MOVE and WM_SIZE for what changed.
QUILLET_WIN_API BOOL GetWindowRect(HWND hwnd, RECT* rect);
QUILLET_WIN_API BOOL GetClientRect(HWND hwnd, RECT* rect);
QUILLET_WIN_API BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
QUILLET_WIN_API BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
QUILLET_WIN_API BOOL ShowWindow(HWND hwnd, int command);  // the previous visibility
QUILLET_WIN_API BOOL IsWindowVisible(HWND hwnd);

// Messages.
QUILLET_WIN_API UINT RegisterWindowMessage(const char* name);
// Fails with ERROR_NOT_ENOUGH_QUOTA when the owner's queue holds
// MESSAGE_QUEUE_LIMIT messages, ERROR_INVALID_WINDOW_HANDLE for a window that
// does not exist (or cannot receive messages: foreign windows).
// hwnd NULL posts a thread message to the calling thread.
QUILLET_WIN_API BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
QUILLET_WIN_API BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
QUILLET_WIN_API LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// SendMessage that gives up after timeoutMs when the owner thread does not handle the
// message in time (FALSE, ERROR_TIMEOUT; the message may still be handled later, its
// answer is then dropped). flags (SMTO_*) are accepted and ignored. *result gets the
// answer when not NULL. Returns TRUE when the message was handled.
QUILLET_WIN_API LRESULT SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                                           UINT timeoutMs, LRESULT* result);
// Ends the calling thread's loop: GetMessage returns FALSE once the posted messages
// queued before it have been retrieved.
QUILLET_WIN_API void PostQuitMessage(int exitCode);
// Retrieval order: messages sent from other threads are handled (not returned) first,
// then posted messages in FIFO order, then the quit message, then due timers.
// hwnd NULL: every message of the thread; (HWND)-1: thread messages only; a window:
// that window's messages. min = max = 0: every number; WM_QUIT ignores the filter.
// Returns FALSE for WM_QUIT, -1 for an invalid hwnd filter, else TRUE.
QUILLET_WIN_API BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
QUILLET_WIN_API BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove);
// Blocks until the calling thread's queue has something new.
QUILLET_WIN_API BOOL WaitMessage(void);
QUILLET_WIN_API BOOL TranslateMessage(const MSG* msg);  // no keyboard translation: FALSE
// Calls the procedure of msg->hwnd (or the TIMERPROC in lParam of a WM_TIMER). Thread
// messages and messages of destroyed windows are not dispatched (0).
QUILLET_WIN_API LRESULT DispatchMessage(const MSG* msg);

// Timers on a window of the calling thread (hwnd NULL: a thread timer, its id chosen
// by the layer). The same hwnd and id replaces the timer. A timer whose proc is set
// calls it on dispatch instead of the window procedure. Returns the id, 0 on failure.
// Timers cost nothing while none is set: no thread and no wake-up.
QUILLET_WIN_API UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
QUILLET_WIN_API BOOL KillTimer(HWND hwnd, UINT_PTR id);

// A modal message box through the installed presenter (MessageBox.h); returns the
// button chosen (IDOK...). May be called from any thread; blocks until answered.
QUILLET_WIN_API int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

#ifdef __cplusplus
}
#endif
