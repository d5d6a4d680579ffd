// The desktop side of the driver's windows, for the driver thread: placing a
// plug-in's own window beside the owner window inside the screen's work area, and the
// frame window the driver makes for a plug-in that asks for one. Through X11 (xcb, a
// connection of its own: an X error is an event there, never a reason to end the
// process); without an X server nothing is placed and a frame is a window of the
// message layer alone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace quillet::plugins {

class TVisDesktop {
  public:
    TVisDesktop();
    ~TVisDesktop();
    TVisDesktop(const TVisDesktop&) = delete;
    TVisDesktop& operator=(const TVisDesktop&) = delete;

    // Moves `window` beside `owner` when it is narrower than half the screen.
    void placeBesideOwner(HWND window, HWND owner);

    // The screen's size (0 x 0 without an X server), its work area, and a window's
    // rectangle on the screen (a form's native window, else the layer's rectangle).
    int screenWidth() const;
    int screenHeight() const;
    std::optional<RECT> workArea();
    std::optional<RECT> screenRect(HWND window);

    // Gives `frame`, a window of the layer made by the calling thread, a top-level
    // X11 window (titled `title`, resizable, transient for the owner's native window
    // when it has one, not mapped yet) at `outer`. From then on the layer takes the
    // frame's place, size and visibility from the X window, and the frame's
    // GWLP_USERDATA holds the X11 id (so a plug-in can put its own window into it).
    // False without an X server.
    bool attachFrame(HWND frame, HWND owner, const RECT& outer, const std::string& title);
    // Puts the X11 window of `child` (its native window, else the X11 id in its
    // GWLP_USERDATA) into the frame's X window at its top-left corner.
    bool embedChild(HWND frame, HWND child);

    // What happened to the frames' X windows since the last call: moved or resized
    // by the user (the layer already sees the new place), closed through the window
    // manager, or destroyed by another client.
    enum class TFrameEvent { kMoved, kClosed, kDestroyed };
    std::vector<std::pair<HWND, TFrameEvent>> pump();

  private:
    struct X;
    std::unique_ptr<X> m_x;
};

}  // namespace quillet::plugins
