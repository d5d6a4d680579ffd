// The visualisation plug-in's window: an X11 top-level window of its own on a
// connection of its own (WM_CLASS instance "vis", class "QuilletVis"), and a
// message-layer window that stands for it with the host.
//
// What the host sees (all of it made on the thread that calls open(), the thread
// that runs the module):
// - The stand-in: a visible top-level window of class "QuilletVisWindow" whose text
//   is the X window's title. GetWindowLongPtr(standIn, GWLP_USERDATA) is the X11
//   window id. The module announces the stand-in to the player's main window with
//   WM_WA_IPC / IPC_SETVISWND.
// - The stand-in's rectangle follows the X window (the user moves or resizes it),
//   and MoveWindow / SetWindowPos / ShowWindow on the stand-in move, resize, show
//   and hide the X window. A host may replace the stand-in's procedure as long as
//   it passes WM_MOVE, WM_SIZE, WM_SHOWWINDOW, WM_SETTEXT and WM_DESTROY on.
// - Closing the X window (the window manager's close) or its destruction by another
//   client ends the window: the next pump() answers false, and, when nothing pumps
//   because no frame comes (playback paused), a 100 ms timer on the stand-in notices
//   it and destroys the stand-in, which tells the host the window is gone.
//   Destroying the stand-in closes the X window likewise.
//
// X errors never end the process: xcb reports them as events, which are dropped.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/WinApi.h"
#include "plugins/visual/VisDraw.h"

namespace quillet::vis {

constexpr int kDefaultWidth = 512;
constexpr int kDefaultHeight = 256;

class VisWindow {
  public:
    VisWindow() = default;
    VisWindow(const VisWindow&) = delete;
    VisWindow& operator=(const VisWindow&) = delete;
    ~VisWindow();  // destroys the stand-in and the X window, closes the connection

    // Connects to $DISPLAY, creates and maps the window at the default size and its
    // stand-in. False (and nothing left behind) when there is no display, the
    // screen has no 24-bit true-colour visual, or the stand-in cannot be made.
    bool open(const std::string& title, HINSTANCE instance);

    // Handles the X events that arrived. False once the window is closed or gone.
    bool pump();
    // Called by the timer when the window needs a new picture (a resize or an
    // exposure) while no frame comes.
    void setRedraw(std::function<void()> redraw) { m_redraw = std::move(redraw); }

    Canvas& canvas() { return m_canvas; }
    // Copies the canvas into the window (nothing once the window is gone).
    void present();

    HWND standIn() const { return m_standIn; }

  private:
    static LRESULT standInProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static void timerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);
    static VisWindow* owning(HWND hwnd);

    bool createX(const std::string& title);
    bool createStandIn(const std::string& title, HINSTANCE instance);
    void setTitle(const std::string& title);
    void handle(const xcb_generic_event_t* event);
    void mirrorIntoStandIn();
    void pushStandInGeometry();
    void markGone(bool destroyed);
    HWND forgetStandIn();
    void close();

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = 0;
    xcb_window_t m_window = 0;
    xcb_gcontext_t m_gc = 0;
    std::uint8_t m_depth = 0;
    bool m_swapBytes = false;
    std::size_t m_maxRequestBytes = 0;
    xcb_atom_t m_wmProtocols = 0, m_wmDelete = 0, m_netWmName = 0, m_utf8 = 0;

    HWND m_standIn = nullptr;
    HINSTANCE m_instance = nullptr;
    bool m_classRegistered = false;
    bool m_mirroring = false;  // the stand-in is being moved to follow the X window

    bool m_gone = false;         // closed, destroyed, or the connection broke
    bool m_destroyed = false;    // the X window no longer exists
    bool m_needsRedraw = false;  // set by a resize or an exposure, cleared by present()
    std::function<void()> m_redraw;

    Canvas m_canvas;
    std::vector<std::uint32_t> m_swapped;  // the canvas in the server's byte order
};

}  // namespace quillet::vis
