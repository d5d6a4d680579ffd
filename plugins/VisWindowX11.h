// The desktop side of a plug-in's window, for the driver thread: placing the window
// beside the owner window inside the screen's work area. Through X11 (xcb, a
// connection of its own: an X error is an event there, never a reason to end the
// process); without an X server it does nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win/WinTypes.h"

namespace quillet::plugins {

class TVisPlacement {
  public:
    TVisPlacement();
    ~TVisPlacement();
    TVisPlacement(const TVisPlacement&) = delete;
    TVisPlacement& operator=(const TVisPlacement&) = delete;

    // Moves `window` beside `owner` when it is narrower than half the screen.
    void placeBesideOwner(HWND window, HWND owner);

  private:
    struct X;
    std::unique_ptr<X> m_x;
};

}  // namespace quillet::plugins
