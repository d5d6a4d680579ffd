#include "platform/hook/TaskbarWatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace quillet::hook {

namespace {

using Clock = std::chrono::steady_clock;

// How long after the last event the desktop is looked at again: a panel that
// starts or rearranges itself sends bursts of events, and one placement at
// the end is what we want.
constexpr auto kSettle = std::chrono::milliseconds(100);
// The first look after start.
constexpr auto kFirstLook = std::chrono::milliseconds(50);

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

bool TaskbarWatcher::State::operator==(const State& o) const {
    return taskbar == o.taskbar && sameRect(rect, o.rect) && tray.has_value() == o.tray.has_value() &&
           (!tray || sameRect(*tray, *o.tray));
}

TaskbarWatcher::TaskbarWatcher(std::function<void()> place) : m_place(std::move(place)) {}

TaskbarWatcher::~TaskbarWatcher() {
    stop();
}

bool TaskbarWatcher::start(const char* display) {
    stop();
    m_x = desktop::XConnection::open(display);
    if (!m_x) return false;
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_x.reset();
        return false;
    }
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void TaskbarWatcher::stop() {
    if (m_thread.joinable()) {
        m_stop = true;
        const char c = 's';
        (void)!write(m_wake[1], &c, 1);
        m_thread.join();
    }
    for (int& fd : m_wake) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    m_x.reset();
}

void TaskbarWatcher::stripResized() {
    if (!m_thread.joinable()) return;
    m_resized = true;
    const char c = 'r';
    (void)!write(m_wake[1], &c, 1);
}

std::optional<TaskbarWatcher::State> TaskbarWatcher::look() {
    const desktop::OwnWindows own;  // our process's windows (the strip) are never the desktop's
    const auto taskbar = desktop::FindTaskbar(*m_x, own);
    if (!taskbar) return std::nullopt;
    State s;
    s.taskbar = taskbar->window;
    const auto rect = m_x->rectOnScreen(taskbar->window);
    if (!rect) return std::nullopt;
    s.rect = *rect;
    if (!taskbar->byClass) {
        s.tray = desktop::TrayIconsBox(*m_x, taskbar->window, own);
    } else if (taskbar->notify != XCB_NONE) {
        s.tray = m_x->rectOnScreen(taskbar->notify);
    }
    return s;
}

void TaskbarWatcher::watch(xcb_window_t taskbar) {
    // The taskbar itself (moved, resized, destroyed) and everything in it down
    // to a tray's wrappers around its icons.
    const std::uint32_t panelMask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    xcb_change_window_attributes(m_x->get(), taskbar, XCB_CW_EVENT_MASK, panelMask);
    m_watched = taskbar;
    const std::uint32_t childMask[] = {XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    for (xcb_window_t child : m_x->children(taskbar)) {
        xcb_change_window_attributes(m_x->get(), child, XCB_CW_EVENT_MASK, childMask);
    }
    xcb_flush(m_x->get());
}

bool TaskbarWatcher::notice(const xcb_generic_event_t* e, xcb_window_t taskbar) {
    switch (e->response_type & 0x7f) {
        case XCB_DESTROY_NOTIFY: {
            // The taskbar, or whatever window took our strip in, is gone and
            // took the strip along. The strip must be placed again even when
            // the desktop looks as before: a panel started again at once may
            // come back with the same window id and place, and a panel can
            // come and go between two looks.
            const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(e);
            if (destroyed->window == m_stripHost)
                m_stripHost = XCB_NONE;
            else if (taskbar == XCB_NONE || destroyed->window != taskbar)
                return false;
            return true;
        }
        case XCB_REPARENT_NOTIFY: {
            // Our strip leaving the root for another window (docking).
            const auto* moved = reinterpret_cast<const xcb_reparent_notify_event_t*>(e);
            if (moved->event == m_x->root() && moved->parent != m_x->root() &&
                desktop::IsOwnWindow(*m_x, moved->window, {}))
                m_stripHost = moved->parent;
            return false;
        }
        case XCB_CREATE_NOTIFY: {
            // A panel that starts creates its window first and says what it is
            // (a dock, its struts) in properties afterwards: watch a new
            // top-level window's properties, or the last event may come before
            // it is a panel.
            const auto* created = reinterpret_cast<const xcb_create_notify_event_t*>(e);
            if (created->parent != m_x->root() || created->window == m_watched) return false;
            const std::uint32_t mask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
            xcb_change_window_attributes(m_x->get(), created->window, XCB_CW_EVENT_MASK, mask);
            xcb_flush(m_x->get());
            return false;
        }
        default:
            return false;
    }
}

int TaskbarWatcher::drainEvents(bool queuedOnly, xcb_window_t taskbar, bool& mustPlace) {
    int count = 0;
    xcb_connection_t* c = m_x->get();
    while (const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> e{
        queuedOnly ? xcb_poll_for_queued_event(c) : xcb_poll_for_event(c), &std::free}) {
        ++count;
        if (notice(e.get(), taskbar)) mustPlace = true;
    }
    return count;
}

bool TaskbarWatcher::waitForEvents(std::optional<Clock::time_point> due) {
    int timeout = -1;
    if (due) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*due - Clock::now());
        timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
    }
    pollfd fds[2] = {{xcb_get_file_descriptor(m_x->get()), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    poll(fds, 2, timeout);
    if (!(fds[1].revents & POLLIN)) return false;
    char buf[16];
    while (read(m_wake[0], buf, sizeof buf) > 0) {
    }
    return m_resized.exchange(false);
}

void TaskbarWatcher::run() {
    // New top-level windows (a panel that starts), and root properties (the
    // work area a panel reserves).
    const std::uint32_t rootMask[] = {XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(m_x->get(), m_x->root(), XCB_CW_EVENT_MASK, rootMask);
    xcb_flush(m_x->get());

    std::optional<State> reported;
    std::optional<Clock::time_point> due = Clock::now() + kFirstLook;
    // The first look always places: the desktop may have changed since the
    // program placed the strip itself (a panel gone before we looked).
    bool always = true;
    bool force = false;
    while (!m_stop) {
        const xcb_window_t taskbar = reported ? reported->taskbar : XCB_NONE;
        // Events read while waiting for a reply sit in xcb's queue, where
        // poll() does not see them: take them first.
        int events = drainEvents(true, taskbar, always);
        if (events > 0 && !due) due = Clock::now() + kSettle;
        const bool resized = waitForEvents(due);
        if (m_stop) break;
        if (resized) {
            force = true;
            due = Clock::now();
        }
        events += drainEvents(false, taskbar, always);
        if (xcb_connection_has_error(m_x->get())) break;  // the X server went away
        if (events > 0 && !due) due = Clock::now() + kSettle;
        if (!due || Clock::now() < *due) continue;
        due.reset();
        reported = lookAndPlace(reported, always, force);
        always = false;
        force = false;
    }
}

std::optional<TaskbarWatcher::State> TaskbarWatcher::lookAndPlace(const std::optional<State>& reported,
                                                                  bool always, bool force) {
    const auto now = look();
    if (now) watch(now->taskbar);
    const bool differs = now.has_value() != reported.has_value() || (now && !(*now == *reported));
    if (always || (differs && (now || reported)) || (force && now)) m_place();
    return now;
}

}  // namespace quillet::hook
