// Watches the desktop's taskbar on an X connection and thread of its own, and
// calls place() (on that thread) whenever the window docked into it must place
// itself again: the first time soon after start() when a taskbar is there,
// then when the taskbar appears, goes away, is replaced, moves or is resized,
// or its notification area changes (tray icons came or went). Changes are
// gathered for a short while and compared with what was last reported, so our
// own window moving inside the panel, or a burst of events, gives at most one
// call, and an unchanged desktop none.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "platform/desktop/X11.h"

namespace quillet::hook {

class TaskbarWatcher {
  public:
    explicit TaskbarWatcher(std::function<void()> place);
    ~TaskbarWatcher();  // stop()
    TaskbarWatcher(const TaskbarWatcher&) = delete;
    TaskbarWatcher& operator=(const TaskbarWatcher&) = delete;

    // false when no X server can be reached.
    bool start(const char* display = nullptr);
    // Joins the thread: place() is not called after stop() returns. Must not
    // be called from place().
    void stop();
    // A new width changes where the strip goes in a panel: placed again.
    void stripResized();

  private:
    struct State {
        xcb_window_t taskbar = XCB_NONE;
        RECT rect{};
        std::optional<RECT> tray;
        bool operator==(const State& o) const;
    };
    void run();
    std::optional<State> look();
    // Looks at the desktop and asks for a placement when it differs from
    // what was reported, when forced and there is a taskbar, or always;
    // returns what it saw.
    std::optional<State> lookAndPlace(const std::optional<State>& reported, bool always, bool force);
    void watch(xcb_window_t taskbar);
    // Follows what an event tells beyond "something changed"; true when the
    // strip must be placed whatever the desktop looks like next: the taskbar
    // given, or the window that took the strip in, was destroyed.
    bool notice(const xcb_generic_event_t* e, xcb_window_t taskbar);
    // Takes the events waiting (only those xcb has read already, or also the
    // socket's); returns how many; mustPlace is set as notice() says.
    int drainEvents(bool queuedOnly, xcb_window_t taskbar, bool& mustPlace);
    // Sleeps until an event, a wake-up or the time due; true when the wake-up
    // was a resize of the strip.
    bool waitForEvents(std::optional<std::chrono::steady_clock::time_point> due);

    std::function<void()> m_place;
    std::unique_ptr<desktop::XConnection> m_x;
    std::thread m_thread;
    int m_wake[2] = {-1, -1};  // a pipe: stop and resize requests
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_resized{false};
    // Read and written on the watcher's thread only.
    xcb_window_t m_watched = XCB_NONE;    // the taskbar whose events are selected
    xcb_window_t m_stripHost = XCB_NONE;  // the window our strip was last moved into
};

}  // namespace quillet::hook
