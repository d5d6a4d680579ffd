#include "plugins/visual/VisWindow.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

namespace quillet::vis {

namespace {

constexpr char kStandInClass[] = "QuilletVisWindow";
constexpr char kWmClass[] = "vis\0QuilletVis";  // instance and class, each NUL-terminated
constexpr UINT_PTR kEventTimer = 1;
constexpr UINT kEventTimerMs = 100;
constexpr int kMinWidth = 64, kMinHeight = 32;

// The windows open in this library, found from their stand-in. Window procedures
// and timer procedures carry only the handle; the message layer may run them while
// another thread opens a second window, hence the lock.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): the library's window registry
std::mutex g_lock;
std::array<std::pair<HWND, VisWindow*>, 4> g_windows{};  // guarded by g_lock
int g_classUsers = 0;                                    // guarded by g_lock
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

struct FreeDeleter {
    // xcb's replies and events come from malloc.
    void operator()(void* p) const { std::free(p); }  // NOLINT(cppcoreguidelines-owning-memory)
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Waits until the server has carried out every request sent so far, so that
// other clients (the host, a test) see the window as this side left it.
void roundTrip(xcb_connection_t* conn) {
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
}

xcb_atom_t internAtom(xcb_connection_t* conn, const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        conn, xcb_intern_atom(conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The pixel format we draw: 32 bits per pixel, 8 bits per colour, red highest.
bool drawableFormat(const xcb_setup_t* setup, const xcb_screen_t* screen) {
    bool visualOk = false;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        if (depths.data->depth != screen->root_depth) continue;
        for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual)
                visualOk = v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xff0000 &&
                           v.data->green_mask == 0xff00 && v.data->blue_mask == 0xff;
        }
    }
    bool formatOk = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == screen->root_depth) formatOk = f.data->bits_per_pixel == 32;
    }
    return visualOk && formatOk;
}

}  // namespace

VisWindow::~VisWindow() {
    close();
}

VisWindow* VisWindow::owning(HWND hwnd) {
    std::lock_guard lock(g_lock);
    for (auto& [handle, window] : g_windows) {
        if (handle == hwnd && hwnd != nullptr) return window;
    }
    return nullptr;
}

bool VisWindow::open(const std::string& title, HINSTANCE instance) {
    if (createX(title) && createStandIn(title, instance)) {
        xcb_map_window(m_conn, m_window);
        ShowWindow(m_standIn, SW_SHOW);
        roundTrip(m_conn);
        return true;
    }
    close();
    return false;
}

bool VisWindow::createX(const std::string& title) {
    int screenNumber = 0;
    m_conn = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_conn)) return false;
    const xcb_setup_t* setup = xcb_get_setup(m_conn);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (!screens.rem || !drawableFormat(setup, screens.data)) return false;
    const xcb_screen_t* screen = screens.data;
    m_root = screen->root;
    m_depth = screen->root_depth;
    m_swapBytes =
        (setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST) != (std::endian::native == std::endian::big);
    // In 4-byte units; with BIG-REQUESTS this is far more than one frame.
    m_maxRequestBytes = static_cast<std::size_t>(xcb_get_maximum_request_length(m_conn)) * 4;

    m_window = xcb_generate_id(m_conn);
    // No background: the server never clears the window, so a resize or an exposure
    // shows the old picture until the next frame replaces it whole (no flicker).
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, screen->black_pixel, XCB_GRAVITY_NORTH_WEST,
                                    XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_window, m_root, 0, 0, kDefaultWidth, kDefaultHeight, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_BIT_GRAVITY | XCB_CW_EVENT_MASK,
                      values);
    m_gc = xcb_generate_id(m_conn);
    const std::uint32_t gcValues[] = {0};
    xcb_create_gc(m_conn, m_gc, m_window, XCB_GC_GRAPHICS_EXPOSURES, gcValues);

    m_wmProtocols = internAtom(m_conn, "WM_PROTOCOLS");
    m_wmDelete = internAtom(m_conn, "WM_DELETE_WINDOW");
    m_netWmName = internAtom(m_conn, "_NET_WM_NAME");
    m_utf8 = internAtom(m_conn, "UTF8_STRING");
    const xcb_atom_t netWmPid = internAtom(m_conn, "_NET_WM_PID");
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, m_wmProtocols, XCB_ATOM_ATOM, 32, 1,
                        &m_wmDelete);
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof kWmClass, kWmClass);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, netWmPid, XCB_ATOM_CARDINAL, 32, 1, &pid);
    // WM_NORMAL_HINTS: a minimum size (flag PMinSize), the other fields unused.
    std::uint32_t hints[18] = {};
    hints[0] = 16;
    hints[5] = kMinWidth;
    hints[6] = kMinHeight;
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    setTitle(title);
    m_canvas.resize(kDefaultWidth, kDefaultHeight);
    return !xcb_connection_has_error(m_conn);
}

bool VisWindow::createStandIn(const std::string& title, HINSTANCE instance) {
    m_instance = instance;
    {
        std::lock_guard lock(g_lock);
        if (g_classUsers == 0) {
            WNDCLASS wc{};
            wc.lpfnWndProc = &VisWindow::standInProc;
            wc.hInstance = instance;
            wc.lpszClassName = kStandInClass;
            if (RegisterClass(&wc) == 0) return false;
        }
        ++g_classUsers;
        m_classRegistered = true;
    }
    m_standIn = CreateWindowEx(0, kStandInClass, title.c_str(),
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 0, 0, kDefaultWidth,
                               kDefaultHeight, nullptr, nullptr, instance, nullptr);
    if (m_standIn == nullptr) return false;
    {
        std::lock_guard lock(g_lock);
        auto free =
            std::find_if(g_windows.begin(), g_windows.end(), [](auto& e) { return e.first == nullptr; });
        if (free == g_windows.end()) return false;
        *free = {m_standIn, this};
    }
    SetWindowLongPtr(m_standIn, GWLP_USERDATA, static_cast<LONG_PTR>(m_window));
    return SetTimer(m_standIn, kEventTimer, kEventTimerMs, &VisWindow::timerProc) != 0;
}

void VisWindow::setTitle(const std::string& title) {
    const auto length = static_cast<std::uint32_t>(title.size());
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length,
                        title.data());
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, m_netWmName, m_utf8, 8, length,
                        title.data());
}

// Unlinks the stand-in from this window; its procedure then only passes messages
// to the default procedure. Returns the handle it had.
HWND VisWindow::forgetStandIn() {
    HWND standIn = std::exchange(m_standIn, nullptr);
    std::lock_guard lock(g_lock);
    for (auto& entry : g_windows) {
        if (entry.first == standIn) entry = {};
    }
    return standIn;
}

void VisWindow::close() {
    if (m_standIn != nullptr) {
        HWND standIn = forgetStandIn();  // our procedure ignores the WM_DESTROY that follows
        if (IsWindow(standIn)) DestroyWindow(standIn);
    }
    if (m_classRegistered) {
        std::lock_guard lock(g_lock);
        if (--g_classUsers == 0) UnregisterClass(kStandInClass, m_instance);
        m_classRegistered = false;
    }
    if (m_conn != nullptr) {
        if (m_window != 0 && !m_destroyed && !xcb_connection_has_error(m_conn)) {
            xcb_destroy_window(m_conn, m_window);
            roundTrip(m_conn);
        }
        xcb_disconnect(m_conn);
        m_conn = nullptr;
    }
    m_window = 0;
    m_gone = true;
}

void VisWindow::markGone(bool destroyed) {
    m_gone = true;
    m_destroyed = m_destroyed || destroyed;
    if (!m_destroyed && m_conn != nullptr) {
        // Disappears at once; the window itself is destroyed when the module quits.
        xcb_unmap_window(m_conn, m_window);
        roundTrip(m_conn);
    }
}

bool VisWindow::pump() {
    if (m_conn == nullptr) return false;
    if (m_standIn != nullptr && !IsWindow(m_standIn)) {
        // Destroyed by a procedure put in front of ours that kept WM_DESTROY to itself.
        forgetStandIn();
        markGone(false);
    }
    while (!m_gone) {
        std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(xcb_poll_for_event(m_conn));
        if (!event) {
            // The server closed the connection (it ended, or a client killed ours).
            if (xcb_connection_has_error(m_conn)) markGone(true);
            break;
        }
        handle(event.get());
    }
    return !m_gone;
}

void VisWindow::handle(const xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
        case 0: {  // an error: only the loss of our window matters
            const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
            if ((error->error_code == XCB_WINDOW || error->error_code == XCB_DRAWABLE) &&
                error->resource_id == m_window)
                markGone(true);
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
            if (e->window != m_window) break;
            if (e->width != m_canvas.width() || e->height != m_canvas.height()) {
                m_canvas.resize(e->width, e->height);
                m_needsRedraw = true;
            }
            mirrorIntoStandIn();
            break;
        }
        case XCB_EXPOSE:
            m_needsRedraw = true;
            break;
        case XCB_CLIENT_MESSAGE: {
            const auto* e = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (e->window == m_window && e->type == m_wmProtocols && e->format == 32 &&
                e->data.data32[0] == m_wmDelete)
                markGone(false);
            break;
        }
        case XCB_DESTROY_NOTIFY:
            if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == m_window)
                markGone(true);
            break;
        default:
            break;
    }
}

// The stand-in takes the X window's place on the screen, so that the host's
// GetWindowRect sees where the user put it.
void VisWindow::mirrorIntoStandIn() {
    if (m_standIn == nullptr) return;
    Reply<xcb_translate_coordinates_reply_t> where(xcb_translate_coordinates_reply(
        m_conn, xcb_translate_coordinates(m_conn, m_window, m_root, 0, 0), nullptr));
    if (!where) return;
    m_mirroring = true;
    MoveWindow(m_standIn, where->dst_x, where->dst_y, m_canvas.width(), m_canvas.height(), TRUE);
    m_mirroring = false;
}

void VisWindow::pushStandInGeometry() {
    RECT r{};
    if (m_mirroring || m_gone || !GetWindowRect(m_standIn, &r)) return;
    const std::uint32_t values[] = {
        static_cast<std::uint32_t>(r.left), static_cast<std::uint32_t>(r.top),
        static_cast<std::uint32_t>(std::clamp<LONG>(r.right - r.left, 1, kMaxSide)),
        static_cast<std::uint32_t>(std::clamp<LONG>(r.bottom - r.top, 1, kMaxSide))};
    xcb_configure_window(
        m_conn, m_window,
        XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
        values);
    roundTrip(m_conn);
}

void VisWindow::present() {
    const int w = m_canvas.width(), h = m_canvas.height();
    m_needsRedraw = false;
    if (m_gone || w == 0 || h == 0) return;
    const std::uint32_t* pixels = m_canvas.pixels();
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 4;
    if (m_swapBytes) {
        m_swapped.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        std::transform(pixels, pixels + m_swapped.size(), m_swapped.begin(),
                       [](std::uint32_t p) { return __builtin_bswap32(p); });
        pixels = m_swapped.data();
    }
    // Rows in strips that fit one request (the request header takes 24 bytes).
    const int stripRows =
        static_cast<int>(std::clamp<std::size_t>((m_maxRequestBytes - 64) / rowBytes, 1, h));
    for (int y = 0; y < h; y += stripRows) {
        const int rows = std::min(stripRows, h - y);
        xcb_put_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(rows), 0, static_cast<std::int16_t>(y), 0, m_depth,
                      static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(rows)),
                      reinterpret_cast<const std::uint8_t*>(pixels + static_cast<std::size_t>(y) * w));
    }
    xcb_flush(m_conn);
}

LRESULT VisWindow::standInProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    VisWindow* self = owning(hwnd);
    if (self == nullptr || self->m_conn == nullptr) return DefWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
        case WM_MOVE:
        case WM_SIZE:
            self->pushStandInGeometry();
            return 0;
        case WM_SHOWWINDOW:
            if (!self->m_gone) {
                if (wParam)
                    xcb_map_window(self->m_conn, self->m_window);
                else
                    xcb_unmap_window(self->m_conn, self->m_window);
                roundTrip(self->m_conn);
            }
            return 0;
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProc(hwnd, msg, wParam, lParam);
            if (!self->m_gone && lParam != 0) self->setTitle(reinterpret_cast<const char*>(lParam));
            return result;
        }
        case WM_DESTROY:
            // Someone else destroyed the stand-in: the window ends with it.
            self->forgetStandIn();
            self->markGone(false);
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void VisWindow::timerProc(HWND hwnd, UINT, UINT_PTR, DWORD) {
    VisWindow* self = owning(hwnd);
    if (self == nullptr) return;
    if (!self->pump()) {
        // Closed while no frame came: destroying the stand-in tells the host.
        self->close();
        return;
    }
    if (self->m_needsRedraw && self->m_redraw) self->m_redraw();
}

}  // namespace quillet::vis
