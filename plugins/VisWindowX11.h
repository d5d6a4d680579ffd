// The desktop side of a plug-in's window, for the driver thread: placing the window
// beside the owner window inside the screen's work area, and noticing when a native
// window that a plug-in announced goes away. Through X11 (xcb, its own connection:
// an X error is an event there, never a reason to end the process); without an X
// server both do nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win/WinTypes.h"

namespace quillet::plugins {

class TVisWindowWatch {
  public:
    TVisWindowWatch();
    ~TVisWindowWatch();
    TVisWindowWatch(const TVisWindowWatch&) = delete;
    TVisWindowWatch& operator=(const TVisWindowWatch&) = delete;

    // Moves `window` (a window of the message layer, or a native window id cast to a
    // handle) beside `owner` when it is narrower than half the screen.
    void placeBesideOwner(HWND window, HWND owner);
    // Follows a native window announced as the vis window.
    void watchNative(HWND nativeWindow);
    // The watched native window was destroyed (by anyone).
    bool nativeWindowGone();

  private:
    struct X;
    std::unique_ptr<X> m_x;
    std::uint32_t m_watched = 0;
};

}  // namespace quillet::plugins
