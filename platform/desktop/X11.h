// The desktop seen through X11 (xcb), without Qt: windows by WM_CLASS, their
// rectangles on the screen, and the taskbar: either a top-level window of
// class "Shell_TrayWnd" with a child of class "TrayNotifyWnd", or the desktop
// panel (an EWMH dock window along a screen edge) and its system tray.
//
// One XConnection per thread that uses it, or one shared: xcb is thread-safe
// and the atom cache has its own lock. Every query is a round trip; none
// blocks longer than the server takes to answer. A window that vanishes
// between two requests reads as absent, never as an error.
#pragma once

#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace quillet::desktop {

class XConnection {
  public:
    // Opens a connection of its own to the display named (nullptr: $DISPLAY).
    // nullptr when there is no X server to talk to.
    static std::unique_ptr<XConnection> open(const char* display = nullptr);
    // Borrows a connection someone else owns and closes (Qt's).
    explicit XConnection(xcb_connection_t* borrowed);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    xcb_connection_t* get() const { return m_conn; }
    xcb_window_t root() const { return m_root; }
    int screenWidth() const { return m_width; }
    int screenHeight() const { return m_height; }

    xcb_atom_t atom(const char* name);
    // The class part of WM_CLASS (the second string), empty when unset.
    std::string wmClass(xcb_window_t w);
    std::vector<xcb_window_t> children(xcb_window_t w);  // bottom to top
    xcb_window_t parent(xcb_window_t w);                 // XCB_NONE when gone
    // The window's outer rectangle (border included) in screen coordinates.
    std::optional<RECT> rectOnScreen(xcb_window_t w);
    bool viewable(xcb_window_t w);
    bool exists(xcb_window_t w);
    std::vector<std::uint32_t> cardinals(xcb_window_t w, xcb_atom_t property);  // 32-bit items
    bool hasProperty(xcb_window_t w, xcb_atom_t property);
    // The work area of the first desktop (_NET_WORKAREA), else the whole screen.
    RECT workArea();
    // Waits until the server has handled every request sent so far.
    void sync();

  private:
    XConnection(xcb_connection_t* conn, bool owned);
    xcb_connection_t* m_conn;
    bool m_owned;
    xcb_window_t m_root = XCB_NONE;
    int m_width = 0;
    int m_height = 0;
    std::mutex m_atomsMutex;
    std::map<std::string, xcb_atom_t> m_atoms;
};

// The windows a search must not take for the desktop's: our own process's
// (by _NET_WM_PID, which Qt sets on its windows) and any listed here, with
// everything below them.
struct OwnWindows {
    std::set<xcb_window_t> windows;
    std::uint32_t pid = 0;  // 0: the calling process
};

// Whether w is one of those windows (listed, or carrying the process's id).
bool IsOwnWindow(XConnection& x, xcb_window_t w, const OwnWindows& own);

struct Taskbar {
    xcb_window_t window = XCB_NONE;
    // A window of class "Shell_TrayWnd" (its "TrayNotifyWnd" child in notify,
    // when it has one); false for a desktop panel.
    bool byClass = false;
    xcb_window_t notify = XCB_NONE;
};

// Top-level windows (children of the root, and children of those, where a
// window manager frames its clients) whose WM_CLASS class is className.
std::vector<xcb_window_t> FindTopLevelByClass(XConnection& x, const std::string& className,
                                              const OwnWindows& own);
// The first descendant of parent (depth first, three levels) of that class.
xcb_window_t FindChildByClass(XConnection& x, xcb_window_t parent, const std::string& className);

// The taskbar: a window of class "Shell_TrayWnd" when there is one, else a
// mapped dock panel that touches a screen edge (the one holding tray icons
// first, then one along the bottom edge). Nothing when the desktop has none.
std::optional<Taskbar> FindTaskbar(XConnection& x, const OwnWindows& own);

// The screen rectangle of a panel's system tray: the bounding box of the
// panel's children that hold an XEmbed tray icon (a window carrying
// _XEMBED_INFO, the child itself or one below it). Nothing when the tray is
// hidden or empty.
std::optional<RECT> TrayIconsBox(XConnection& x, xcb_window_t panel, const OwnWindows& own);

// The rectangle a desktop panel reports as its notification area. The strip
// is placed one pixel past this rectangle's right edge (bottom edge on a
// vertical panel), so the rectangle is chosen to put the strip directly left
// of (above) the tray icons, one pixel apart, where the task list leaves the
// panel empty: a panel draws its own items right of its tray (a clock) and
// cannot be asked to make room there. With no tray icons the strip goes to
// the panel's far end; we cannot tell what the panel itself draws there. The
// strip stays inside the panel as far as the panel is long enough.
RECT PanelNotifyRect(const RECT& panel, const std::optional<RECT>& trayIcons, int stripWidth,
                     int stripHeight);

}  // namespace quillet::desktop
