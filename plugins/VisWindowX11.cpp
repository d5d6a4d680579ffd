#include "plugins/VisWindowX11.h"

#include <algorithm>
#include <cstring>

#include "platform/win/MessageLayer.h"
#include "plugins/VisDriver.h"

#ifdef QUILLET_VIS_X11
#include <unistd.h>

#include <cstdlib>

#include "platform/desktop/X11.h"
#endif

namespace quillet::plugins {

#ifdef QUILLET_VIS_X11

namespace {

constexpr char kFrameWmClass[] = "visframe\0QuilletVis";  // instance and class, each NUL-terminated
constexpr int kFrameMinWidth = 64, kFrameMinHeight = 32;

// The space a window manager's decorations take around a frame (_NET_FRAME_EXTENTS:
// left, right, top, bottom); nothing without a window manager.
struct TExtents {
    int left = 0, right = 0, top = 0, bottom = 0;
};

// A frame's X11 window, standing behind its window of the layer. Its outer rectangle
// is the X window with the window manager's decorations around it; its client area
// is the X window itself. Called on the driver thread (the layer carries calls from
// other threads there).
class TFrameSurface final : public win::WindowSurface {
  public:
    TFrameSurface(std::shared_ptr<desktop::XConnection> x, xcb_window_t window, const RECT& outer)
        : m_x(std::move(x)), m_window(window), m_known(outer) {}
    ~TFrameSurface() override {
        if (!m_destroyed) {
            xcb_destroy_window(m_x->get(), m_window);
            xcb_flush(m_x->get());
        }
    }
    TFrameSurface(const TFrameSurface&) = delete;
    TFrameSurface& operator=(const TFrameSurface&) = delete;

    RECT frame() const override {
        const auto r = m_destroyed ? std::nullopt : m_x->rectOnScreen(m_window);
        if (!r) return m_known;
        const TExtents e = extents();
        return RECT{r->left - e.left, r->top - e.top, r->right + e.right, r->bottom + e.bottom};
    }
    RECT client() const override {
        const auto r = m_destroyed ? std::nullopt : m_x->rectOnScreen(m_window);
        if (!r) return RECT{0, 0, 0, 0};
        return RECT{0, 0, r->right - r->left, r->bottom - r->top};
    }
    void setFrame(const RECT& outer) override {
        m_known = outer;
        if (m_destroyed) return;
        const TExtents e = extents();
        // With a window manager the position is that of the decorated window.
        const std::uint32_t values[] = {
            static_cast<std::uint32_t>(outer.left), static_cast<std::uint32_t>(outer.top),
            static_cast<std::uint32_t>(std::max<LONG>(outer.right - outer.left - e.left - e.right, 1)),
            static_cast<std::uint32_t>(std::max<LONG>(outer.bottom - outer.top - e.top - e.bottom, 1))};
        xcb_configure_window(
            m_x->get(), m_window,
            XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
            values);
        m_x->sync();
        m_known = frame();
    }
    bool visible() const override { return m_visible && !m_destroyed; }
    void setVisible(bool visible) override {
        m_visible = visible;
        if (m_destroyed) return;
        if (visible)
            xcb_map_window(m_x->get(), m_window);
        else
            xcb_unmap_window(m_x->get(), m_window);
        m_x->sync();
    }
    std::uint64_t nativeId() const override { return m_window; }

    xcb_window_t window() const { return m_window; }
    void markDestroyed() { m_destroyed = true; }
    bool destroyed() const { return m_destroyed; }
    // True when the window is no longer where the layer last put it or saw it.
    bool movedByUser() {
        if (m_destroyed) return false;
        const RECT now = frame();
        const bool moved = std::memcmp(&now, &m_known, sizeof now) != 0;
        m_known = now;
        return moved;
    }

  private:
    TExtents extents() const {
        const auto v = m_x->cardinals(m_window, m_x->atom("_NET_FRAME_EXTENTS"));
        if (v.size() != 4) return {};
        return TExtents{int(v[0]), int(v[1]), int(v[2]), int(v[3])};
    }

    std::shared_ptr<desktop::XConnection> m_x;  // outlives the driver's use of it
    xcb_window_t m_window;
    RECT m_known;
    bool m_visible = false;
    bool m_destroyed = false;
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }  // NOLINT(cppcoreguidelines-owning-memory): xcb's malloc
};

}  // namespace

struct TVisDesktop::X {
    using TFrameEvent = TVisDesktop::TFrameEvent;
    std::shared_ptr<desktop::XConnection> conn{desktop::XConnection::open()};
    std::vector<std::pair<HWND, std::weak_ptr<TFrameSurface>>> frames;
    xcb_atom_t wmProtocols = XCB_ATOM_NONE, wmDelete = XCB_ATOM_NONE;

    std::shared_ptr<TFrameSurface> frameOf(HWND hwnd) {
        for (auto& [h, surface] : frames)
            if (h == hwnd) return surface.lock();
        return nullptr;
    }
    std::pair<HWND, std::shared_ptr<TFrameSurface>> frameOf(xcb_window_t window) {
        for (auto& [h, weak] : frames) {
            auto surface = weak.lock();
            if (surface && surface->window() == window) return {h, surface};
        }
        return {nullptr, nullptr};
    }

    // What an X event means for a frame, if anything.
    std::optional<std::pair<HWND, TFrameEvent>> frameEvent(const xcb_generic_event_t& event) {
        const auto* raw = &event;
        switch (event.response_type & 0x7f) {
            case 0: {  // an error: only the loss of a frame matters
                const auto* e = reinterpret_cast<const xcb_generic_error_t*>(raw);
                if (e->error_code != XCB_WINDOW && e->error_code != XCB_DRAWABLE) return std::nullopt;
                return destroyed(e->resource_id);
            }
            case XCB_DESTROY_NOTIFY:
                return destroyed(reinterpret_cast<const xcb_destroy_notify_event_t*>(raw)->window);
            case XCB_CONFIGURE_NOTIFY: {
                auto [h, surface] =
                    frameOf(reinterpret_cast<const xcb_configure_notify_event_t*>(raw)->window);
                if (!surface || !surface->movedByUser()) return std::nullopt;
                return std::pair{h, TFrameEvent::kMoved};
            }
            case XCB_CLIENT_MESSAGE: {
                const auto* e = reinterpret_cast<const xcb_client_message_event_t*>(raw);
                auto [h, surface] = frameOf(e->window);
                if (!surface || e->type != wmProtocols || e->format != 32 || e->data.data32[0] != wmDelete)
                    return std::nullopt;
                return std::pair{h, TFrameEvent::kClosed};
            }
            default:
                return std::nullopt;
        }
    }
    std::optional<std::pair<HWND, TFrameEvent>> destroyed(xcb_window_t window) {
        auto [h, surface] = frameOf(window);
        if (!surface || surface->destroyed()) return std::nullopt;
        surface->markDestroyed();
        return std::pair{h, TFrameEvent::kDestroyed};
    }
};

TVisDesktop::TVisDesktop() : m_x(std::make_unique<X>()) {
    if (m_x->conn) {
        m_x->wmProtocols = m_x->conn->atom("WM_PROTOCOLS");
        m_x->wmDelete = m_x->conn->atom("WM_DELETE_WINDOW");
    }
}
TVisDesktop::~TVisDesktop() = default;

int TVisDesktop::screenWidth() const {
    return m_x->conn ? m_x->conn->screenWidth() : 0;
}

int TVisDesktop::screenHeight() const {
    return m_x->conn ? m_x->conn->screenHeight() : 0;
}

std::optional<RECT> TVisDesktop::workArea() {
    if (!m_x->conn) return std::nullopt;
    return m_x->conn->workArea();
}

std::optional<RECT> TVisDesktop::screenRect(HWND window) {
    // A form: its native window's place on the screen (inside a panel its own
    // geometry is relative to the panel). Other windows of the layer: their rect.
    if (m_x->conn) {
        if (const std::uint64_t id = win::NativeWindowId(window))
            return m_x->conn->rectOnScreen(xcb_window_t(id));
    }
    RECT r;
    if (GetWindowRect(window, &r)) return r;
    return std::nullopt;
}

void TVisDesktop::placeBesideOwner(HWND window, HWND owner) {
    if (!m_x->conn) return;
    const auto own = screenRect(window);
    const auto ownerRect = owner ? screenRect(owner) : std::nullopt;
    if (!own || !ownerRect) return;
    const int width = own->right - own->left, height = own->bottom - own->top;
    if (width <= 0 || height <= 0 || width >= screenWidth() / 2) return;
    const RECT to = PlaceBesideOwner(*ownerRect, width, height, m_x->conn->workArea());
    MoveWindow(window, to.left, to.top, to.right - to.left, to.bottom - to.top, TRUE);
}

bool TVisDesktop::attachFrame(HWND frame, HWND owner, const RECT& outer, const std::string& title) {
    if (!m_x->conn) return false;
    desktop::XConnection& x = *m_x->conn;
    xcb_connection_t* c = x.get();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x.root(), int16_t(outer.left), int16_t(outer.top),
                      uint16_t(std::max<LONG>(outer.right - outer.left, 1)),
                      uint16_t(std::max<LONG>(outer.bottom - outer.top, 1)), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const auto length = static_cast<std::uint32_t>(title.size());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length,
                        title.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING"), 8,
                        length, title.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof kFrameWmClass, kFrameWmClass);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, m_x->wmProtocols, XCB_ATOM_ATOM, 32, 1,
                        &m_x->wmDelete);
    const auto pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                        &pid);
    // WM_NORMAL_HINTS: the position is the program's (USPosition | PPosition), and a
    // minimum size (PMinSize); resizable beyond that.
    std::uint32_t hints[18] = {};
    hints[0] = 1 | 4 | 16;
    hints[5] = kFrameMinWidth;
    hints[6] = kFrameMinHeight;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, 18, hints);
    if (const std::uint64_t ownerId = owner ? win::NativeWindowId(owner) : 0) {
        const auto id = static_cast<xcb_window_t>(ownerId);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32,
                            1, &id);
    }
    x.sync();
    auto surface = std::make_shared<TFrameSurface>(m_x->conn, window, outer);
    if (!win::AttachWindowSurface(frame, surface)) return false;  // the surface destroys the window
    SetWindowLongPtr(frame, GWLP_USERDATA, static_cast<LONG_PTR>(window));
    std::erase_if(m_x->frames, [](const auto& f) { return f.second.expired(); });
    m_x->frames.emplace_back(frame, surface);
    return true;
}

bool TVisDesktop::embedChild(HWND frame, HWND child) {
    const auto surface = m_x->frameOf(frame);
    if (!surface || surface->destroyed() || !child) return false;
    desktop::XConnection& x = *m_x->conn;
    std::uint64_t id = win::NativeWindowId(child);
    if (id == 0) id = static_cast<std::uint64_t>(GetWindowLongPtr(child, GWLP_USERDATA));
    const auto window = static_cast<xcb_window_t>(id);
    if (id == 0 || id > UINT32_MAX || window == surface->window() || window == x.root() || !x.exists(window))
        return false;
    if (x.parent(window) != surface->window()) xcb_reparent_window(x.get(), window, surface->window(), 0, 0);
    x.sync();
    return true;
}

std::vector<std::pair<HWND, TVisDesktop::TFrameEvent>> TVisDesktop::pump() {
    std::vector<std::pair<HWND, TFrameEvent>> events;
    if (!m_x->conn) return events;
    while (auto* raw = xcb_poll_for_event(m_x->conn->get())) {
        const std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(raw);
        const auto happened = m_x->frameEvent(*raw);
        if (happened && std::find(events.begin(), events.end(), *happened) == events.end())
            events.push_back(*happened);
    }
    return events;
}

#else

struct TVisDesktop::X {};
TVisDesktop::TVisDesktop() = default;
TVisDesktop::~TVisDesktop() = default;
void TVisDesktop::placeBesideOwner(HWND, HWND) {}
int TVisDesktop::screenWidth() const {
    return 0;
}
int TVisDesktop::screenHeight() const {
    return 0;
}
std::optional<RECT> TVisDesktop::workArea() {
    return std::nullopt;
}
std::optional<RECT> TVisDesktop::screenRect(HWND window) {
    RECT r;
    if (GetWindowRect(window, &r)) return r;
    return std::nullopt;
}
bool TVisDesktop::attachFrame(HWND, HWND, const RECT&, const std::string&) {
    return false;
}
bool TVisDesktop::embedChild(HWND, HWND) {
    return false;
}
std::vector<std::pair<HWND, TVisDesktop::TFrameEvent>> TVisDesktop::pump() {
    return {};
}

#endif

}  // namespace quillet::plugins
