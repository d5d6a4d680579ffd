// Docks the mini window into the desktop's taskbar when told to (the hook
// library's WM_USER), places the playlist window beside it, and lets the strip
// float when the desktop has no taskbar. The geometry is Docking.h's; the
// windows are reached through platform/desktop.
//
// User-interface thread only. Without a Desktop (not on X11: a Wayland session,
// the offscreen platform) the strip always floats, placed through Qt alone.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/desktop/Desktop.h"
#include "shell/Docking.h"

class TTaskbarDock {
  public:
    // desktop may be nullptr; it must outlive this object. Prepares the mini
    // window as a floating strip (frameless, on top, out of the task list):
    // construct before the mini window is first shown.
    TTaskbarDock(quillet::desktop::Desktop* desktop, QWidget* mini, QWidget* playlist);

    // The mini window places itself: docked right of (below) the taskbar's
    // notification area, the playlist window beside the taskbar. Without a
    // taskbar or its notification area the strip floats instead, at the
    // bottom-right of the work area (a strip that already floats stays where
    // the user left it); the program goes on.
    void setPlayerpos();

    bool docked() const { return m_docked; }
    // The taskbar's rectangle at the last docking (empty before the first).
    TRect taskbarRect() const { return m_taskbarRect; }
    // Where the context menu opens, on the screen.
    TPoint contextMenuPosition();
    // The mini window's rectangle on the screen, docked or not.
    TRect miniOnScreen();

  private:
    void floatStrip();
    TRect workArea();

    quillet::desktop::Desktop* m_desktop;
    QPointer<QWidget> m_mini;
    QPointer<QWidget> m_playlist;
    TRect m_taskbarRect;
    bool m_docked = false;
    bool m_floatingPlaced = false;
};
