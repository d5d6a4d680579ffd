#include "platform/desktop/Desktop.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace quillet::desktop {

// The strip's size and native window, read by the tray surfaces on whatever
// thread asks for the notification area's rectangle.
struct Desktop::Shared {
    std::atomic<int> stripWidth{0};
    std::atomic<int> stripHeight{0};
    std::atomic<std::uint32_t> stripWindow{XCB_NONE};
    OwnWindows own() const;
};

namespace {

// A desktop window: read-only to us (we never move or show the desktop's windows).
class ForeignSurface : public win::WindowSurface {
  public:
    ForeignSurface(std::shared_ptr<XConnection> x, xcb_window_t w) : m_x(std::move(x)), m_w(w) {}
    RECT frame() const override { return m_x->rectOnScreen(m_w).value_or(RECT{}); }
    RECT client() const override {
        const RECT r = frame();
        return RECT{0, 0, r.right - r.left, r.bottom - r.top};
    }
    void setFrame(const RECT&) override {}
    bool visible() const override { return m_x->viewable(m_w); }
    void setVisible(bool) override {}
    std::uint64_t nativeId() const override { return m_w; }

  protected:
    std::shared_ptr<XConnection> m_x;
    xcb_window_t m_w;
};

// A panel's system tray: no window of its own, a rectangle worked out from the
// panel's tray icons and the strip's size each time it is read.
class PanelTraySurface : public ForeignSurface {
  public:
    PanelTraySurface(std::shared_ptr<XConnection> x, xcb_window_t panel, std::function<OwnWindows()> own,
                     std::function<std::pair<int, int>()> stripSize)
        : ForeignSurface(std::move(x), panel), m_own(std::move(own)), m_stripSize(std::move(stripSize)) {}
    RECT frame() const override {
        const auto panel = m_x->rectOnScreen(m_w);
        if (!panel) return RECT{};
        const auto [w, h] = m_stripSize();
        return PanelNotifyRect(*panel, TrayIconsBox(*m_x, m_w, m_own()), w, h);
    }
    std::uint64_t nativeId() const override { return kTrayTag | m_w; }

    // Keeps the tray's handle apart from the panel's own in the layer's table.
    static constexpr std::uint64_t kTrayTag = std::uint64_t{1} << 32;

  private:
    std::function<OwnWindows()> m_own;
    std::function<std::pair<int, int>()> m_stripSize;
};

std::string wmName(XConnection& x, xcb_window_t w) {
    xcb_get_property_cookie_t c =
        xcb_get_property(x.get(), 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    xcb_get_property_reply_t* r = xcb_get_property_reply(x.get(), c, nullptr);
    if (r == nullptr) return {};
    std::string name(static_cast<const char*>(xcb_get_property_value(r)),
                     static_cast<std::size_t>(xcb_get_property_value_length(r)));
    std::free(r);  // NOLINT(cppcoreguidelines-owning-memory): xcb replies are malloc'd
    return name;
}

bool nameMatches(XConnection& x, xcb_window_t w, const char* windowName) {
    return windowName == nullptr || wmName(x, w) == windowName;
}

// Drags a top-level strip by its background with the left mouse button. The
// filter sits on the strip itself, so presses on its controls never reach it.
class BackgroundDrag : public QObject {
  public:
    explicit BackgroundDrag(QWidget* strip) : QObject(strip), m_strip(strip) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched != m_strip || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
                                   type != QEvent::MouseButtonRelease))
            return false;
        auto* me = static_cast<QMouseEvent*>(event);
        switch (type) {
            case QEvent::MouseButtonPress:
                if (me->button() != Qt::LeftButton || m_strip->windowHandle() == nullptr ||
                    m_strip->windowHandle()->parent() != nullptr)
                    return false;
                m_dragging = true;
                m_grab = me->globalPosition().toPoint() - m_strip->windowHandle()->position();
                return true;
            case QEvent::MouseMove:
                if (!m_dragging || !(me->buttons() & Qt::LeftButton)) return false;
                m_strip->windowHandle()->setPosition(me->globalPosition().toPoint() - m_grab);
                return true;
            case QEvent::MouseButtonRelease:
                if (!m_dragging || me->button() != Qt::LeftButton) return false;
                m_dragging = false;
                return true;
            default:
                return false;
        }
    }

  private:
    QWidget* m_strip;
    bool m_dragging = false;
    QPoint m_grab;
};

}  // namespace

std::unique_ptr<Desktop> Desktop::create() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
    return std::make_unique<Desktop>(std::make_shared<XConnection>(x11->connection()));
}

Desktop::Desktop(std::shared_ptr<XConnection> x) : m_x(std::move(x)), m_shared(std::make_shared<Shared>()) {}

Desktop::~Desktop() {
    for (auto& [hwnd, f] : m_foreign) win::ForgetForeignWindow(hwnd);
    // Qt's stand-ins for the desktop's windows. A window of ours still inside
    // one is let go first, or it would be deleted along with it.
    for (auto& [window, w] : m_foreignWindows) {
        if (!w) continue;
        for (QWindow* child : w->findChildren<QWindow*>(Qt::FindDirectChildrenOnly)) {
            child->setParent(nullptr);
        }
        delete w;  // NOLINT(cppcoreguidelines-owning-memory): the wrappers this object made
    }
}

void Desktop::setStrip(QWidget* strip) {
    m_strip = strip;
    if (strip) {
        m_shared->stripWidth = strip->width();
        m_shared->stripHeight = strip->height();
        m_shared->stripWindow = static_cast<std::uint32_t>(strip->winId());
    }
}

OwnWindows Desktop::Shared::own() const {
    OwnWindows own;
    if (const std::uint32_t w = stripWindow) own.windows.insert(w);
    return own;
}

OwnWindows Desktop::own() const {
    return m_shared->own();
}

HWND Desktop::handleFor(xcb_window_t window, const char* className, bool trayOfPanel) {
    std::shared_ptr<win::WindowSurface> surface;
    if (trayOfPanel) {
        auto shared = m_shared;
        surface = std::make_shared<PanelTraySurface>(
            m_x, window, [shared] { return shared->own(); },
            [shared] {
                return std::pair<int, int>{shared->stripWidth, shared->stripHeight};
            });
    } else {
        surface = std::make_shared<ForeignSurface>(m_x, window);
    }
    const std::uint64_t id = trayOfPanel ? (PanelTraySurface::kTrayTag | window) : window;
    HWND hwnd = win::RegisterForeignWindow(id, className, trayOfPanel ? std::string() : wmName(*m_x, window),
                                           std::move(surface));
    if (hwnd) m_foreign[hwnd] = Foreign{window, trayOfPanel};
    return hwnd;
}

void Desktop::forgetGone() {
    for (auto it = m_foreign.begin(); it != m_foreign.end();) {
        if (m_x->exists(it->second.window)) {
            ++it;
            continue;
        }
        win::ForgetForeignWindow(it->first);
        it = m_foreign.erase(it);
    }
    // Qt's stand-ins for windows that are gone. One that still holds our window
    // (not yet given a new one) would take it along, so it waits for a later turn.
    for (auto it = m_foreignWindows.begin(); it != m_foreignWindows.end();) {
        QWindow* w = it->second;
        if (w && m_x->exists(it->first)) {
            ++it;
            continue;
        }
        if (w && w->findChild<QWindow*>() != nullptr) {
            ++it;
            continue;
        }
        delete w;  // NOLINT(cppcoreguidelines-owning-memory): the wrapper of a window gone
        it = m_foreignWindows.erase(it);
    }
}

HWND Desktop::FindWindow(const char* className, const char* windowName) {
    if (className == nullptr) return nullptr;
    forgetGone();
    if (m_strip) setStrip(m_strip);  // the strip may have been resized or given a new window
    if (std::strcmp(className, "Shell_TrayWnd") == 0 && windowName == nullptr) {
        const auto taskbar = FindTaskbar(*m_x, own());
        return taskbar ? handleFor(taskbar->window, className, false) : nullptr;
    }
    for (xcb_window_t w : FindTopLevelByClass(*m_x, className, own())) {
        if (nameMatches(*m_x, w, windowName)) return handleFor(w, className, false);
    }
    return nullptr;
}

HWND Desktop::FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* windowName) {
    auto it = m_foreign.find(parent);
    if (className == nullptr || childAfter != nullptr || it == m_foreign.end() || it->second.trayOfPanel)
        return nullptr;
    const xcb_window_t p = it->second.window;
    if (xcb_window_t w = FindChildByClass(*m_x, p, className);
        w != XCB_NONE && nameMatches(*m_x, w, windowName))
        return handleFor(w, className, false);
    // A desktop panel has no notification-area window: its system tray stands in.
    if (std::strcmp(className, "TrayNotifyWnd") == 0 && windowName == nullptr &&
        m_x->wmClass(p) != "Shell_TrayWnd" && m_x->exists(p))
        return handleFor(p, className, true);
    return nullptr;
}

BOOL Desktop::GetWindowRect(HWND hwnd, RECT* rect) {
    auto it = m_foreign.find(hwnd);
    if (rect == nullptr || it == m_foreign.end() || !m_x->exists(it->second.window)) return FALSE;
    return ::GetWindowRect(hwnd, rect);
}

BOOL Desktop::GetWindowRect(QWidget* ours, RECT* rect) {
    if (ours == nullptr || rect == nullptr) return FALSE;
    if (ours->testAttribute(Qt::WA_WState_Created)) {
        if (auto r = m_x->rectOnScreen(static_cast<xcb_window_t>(ours->winId()))) {
            *rect = *r;
            return TRUE;
        }
    }
    const QRect g = ours->frameGeometry();
    *rect = RECT{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
    return TRUE;
}

QWindow* Desktop::foreignWindow(xcb_window_t window) {
    auto& slot = m_foreignWindows[window];
    if (!slot) slot = QWindow::fromWinId(window);
    return slot;
}

HWND Desktop::GetParent(QWidget* child) {
    if (child == nullptr || child->windowHandle() == nullptr) return nullptr;
    QWindow* parent = child->windowHandle()->parent();
    if (parent == nullptr) return nullptr;
    const auto native = static_cast<xcb_window_t>(parent->winId());
    for (auto& [hwnd, f] : m_foreign) {
        if (f.window == native && !f.trayOfPanel && m_x->exists(native)) return hwnd;
    }
    return nullptr;
}

void Desktop::reviveIfDestroyed(QWidget* child) {
    // Only a window inside another client's window can go with it; a window
    // Qt has just created may not have reached the server yet.
    if (!child->testAttribute(Qt::WA_WState_Created) || child->windowHandle() == nullptr ||
        child->windowHandle()->parent() == nullptr)
        return;
    if (m_x->exists(static_cast<xcb_window_t>(child->winId()))) return;
    // Our window went with the window it was docked in. Qt still holds its id:
    // give the widget a new native window at the root.
    const bool shown = child->isVisible();
    QWindow* w = child->windowHandle();
    w->setParent(nullptr);
    w->destroy();
    w->create();
    prepareStrip(child);
    if (shown) w->setVisible(true);
}

HWND Desktop::SetParent(QWidget* child, HWND newParent) {
    if (child == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    xcb_window_t target = XCB_NONE;
    if (newParent != nullptr) {
        auto it = m_foreign.find(newParent);
        if (it == m_foreign.end() || it->second.trayOfPanel || !m_x->exists(it->second.window)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        target = it->second.window;
    }
    HWND previous = GetParent(child);
    child->winId();
    reviveIfDestroyed(child);
    QWindow* w = child->windowHandle();
    QWindow* newParentWindow = target != XCB_NONE ? foreignWindow(target) : nullptr;
    if (w->parent() != newParentWindow) w->setParent(newParentWindow);
    m_x->sync();
    if (child == m_strip) setStrip(child);
    return previous;
}

BOOL Desktop::SetWindowPos(QWidget* ours, int x, int y, int cx, int cy, UINT flags) {
    if (ours == nullptr) return FALSE;
    if (!(flags & SWP_NOSIZE)) ours->resize(cx, cy);
    if (!(flags & SWP_NOMOVE)) {
        // The window's own position, not QWidget::move's frame position: Qt
        // takes a parent it did not create for a window manager's frame and
        // would count our place inside the taskbar twice.
        if (QWindow* w = ours->windowHandle())
            w->setPosition(x, y);
        else
            ours->move(x, y);
    }
    if (flags & SWP_SHOWWINDOW) ours->show();
    if (flags & SWP_HIDEWINDOW) ours->hide();
    m_x->sync();
    return TRUE;
}

int Desktop::screenWidth() const {
    return m_x->screenWidth();
}

int Desktop::screenHeight() const {
    return m_x->screenHeight();
}

RECT Desktop::workArea() {
    return m_x->workArea();
}

void Desktop::prepareStrip(QWidget* strip) {
    if (strip == nullptr) return;
    const Qt::WindowFlags wanted = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if ((strip->windowFlags() & wanted) != wanted) strip->setWindowFlags(strip->windowFlags() | wanted);
    // BackgroundDrag has no meta-object of its own, so findChild would take
    // any child for one: look for it by its C++ type.
    const QObjectList& children = strip->children();
    if (std::none_of(children.begin(), children.end(),
                     [](QObject* c) { return dynamic_cast<BackgroundDrag*>(c) != nullptr; }))
        strip->installEventFilter(
            new BackgroundDrag(strip));  // NOLINT(cppcoreguidelines-owning-memory): owned by the strip
    const auto w = static_cast<xcb_window_t>(strip->winId());
    // A change of flags gives an existing widget a new native window, and Qt
    // does not carry the window role over to it (the desktop finds the strip
    // by its role). Qt's X11 window writes the role it finds in this property
    // of the QWindow whenever it maps the window.
    if (!strip->windowRole().isEmpty())
        strip->windowHandle()->setProperty("_q_xcb_wm_window_role", strip->windowRole().toLatin1());
    // Qt keeps the states it finds on the window when it maps it.
    const xcb_atom_t state = m_x->atom("_NET_WM_STATE");
    std::vector<std::uint32_t> states = m_x->cardinals(w, state);
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t a = m_x->atom(name);
        if (std::find(states.begin(), states.end(), a) == states.end()) states.push_back(a);
    }
    xcb_change_property(m_x->get(), XCB_PROP_MODE_REPLACE, w, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(states.size()), states.data());
    m_x->sync();
}

}  // namespace quillet::desktop
