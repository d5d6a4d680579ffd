// The desktop for our Qt windows on X11: the taskbar and other windows found by
// class, their rectangles, reparenting the mini window into the taskbar and
// back, and the floating strip's window state. Win32 names, X11 underneath.
//
// A Desktop lives on the user-interface thread of a Qt application on the xcb
// platform and talks over Qt's own X connection, so its requests and Qt's are
// handled in order. Foreign windows get message-layer handles
// (RegisterForeignWindow): GetWindowRect of the layer works on them from any
// thread.
//
// The taskbar ("Shell_TrayWnd") is a top-level window of that class when one
// exists, else the desktop panel; its notification area ("TrayNotifyWnd") is
// its child of that class, else the panel's system tray as PanelNotifyRect
// (X11.h) reports it for the strip set with setStrip().
#pragma once

#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <map>
#include <memory>

#include "platform/desktop/X11.h"
#include "platform/win/MessageLayer.h"

namespace quillet::desktop {

class Desktop {
  public:
    // nullptr unless the application runs on X11 (not on Wayland or offscreen).
    static std::unique_ptr<Desktop> create();
    explicit Desktop(std::shared_ptr<XConnection> x);
    ~Desktop();  // forgets the handles of the desktop's windows it handed out
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // The window that docks (the mini window): its size sizes a panel's
    // notification area, and searches never take it for the desktop's.
    void setStrip(QWidget* strip);

    // Desktop windows by WM_CLASS class (windowName, when not null, compared
    // with WM_NAME). A handle stays the same for the same window; nullptr when
    // none is found.
    HWND FindWindow(const char* className, const char* windowName);
    // Below a window FindWindow (or this) returned. childAfter is not
    // supported beyond nullptr: there is at most one window of a class below.
    HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* windowName);
    // Screen coordinates; FALSE when the window is gone.
    BOOL GetWindowRect(HWND hwnd, RECT* rect);
    BOOL GetWindowRect(QWidget* ours, RECT* rect);

    // Makes newParent (a handle from FindWindow) the parent of our window, or
    // with nullptr the root again (a top-level window). Returns the previous
    // parent's handle (nullptr: the root). A window whose parent was destroyed
    // (a panel that exited) is given a new native window first. When newParent
    // is gone the window is left as it is, nullptr is returned and the error
    // code is ERROR_INVALID_WINDOW_HANDLE; GetParent tells the outcome.
    HWND SetParent(QWidget* child, HWND newParent);
    // The handle of the foreign window our window is docked in, nullptr when it
    // is top-level (or its parent is gone).
    HWND GetParent(QWidget* child);
    // Moves (x, y in the parent's coordinates: the screen's for a top-level
    // window) and sizes our window; SWP_NOSIZE, SWP_NOMOVE, SWP_SHOWWINDOW and
    // SWP_HIDEWINDOW as Win32 has them.
    BOOL SetWindowPos(QWidget* ours, int x, int y, int cx, int cy, UINT flags);

    int screenWidth() const;
    int screenHeight() const;
    RECT workArea();

    // Our strip's window state: frameless, always on top, a utility window,
    // out of the task list and the pager (_NET_WM_STATE_SKIP_TASKBAR and
    // _SKIP_PAGER, set before the window is mapped), dragged by its background
    // with the left button while it floats. Call before the first show (a
    // visible window whose flags change is hidden by Qt).
    void prepareStrip(QWidget* strip);

    XConnection& x() { return *m_x; }

  private:
    struct Foreign {
        xcb_window_t window = XCB_NONE;
        bool trayOfPanel = false;  // a panel's system tray, not a window
    };
    struct Shared;  // what foreign surfaces read from other threads

    HWND handleFor(xcb_window_t window, const char* className, bool trayOfPanel);
    void forgetGone();
    OwnWindows own() const;
    QWindow* foreignWindow(xcb_window_t window);
    void reviveIfDestroyed(QWidget* child);

    std::shared_ptr<XConnection> m_x;
    std::shared_ptr<Shared> m_shared;
    QPointer<QWidget> m_strip;
    std::map<HWND, Foreign> m_foreign;
    std::map<xcb_window_t, QPointer<QWindow>> m_foreignWindows;
};

}  // namespace quillet::desktop
