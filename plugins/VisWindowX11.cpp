#include "plugins/VisWindowX11.h"

#include "platform/win/MessageLayer.h"
#include "plugins/VisDriver.h"

#ifdef QUILLET_VIS_X11
#include "platform/desktop/X11.h"
#endif

namespace quillet::plugins {

#ifdef QUILLET_VIS_X11

struct TVisWindowWatch::X {
    std::unique_ptr<desktop::XConnection> conn = desktop::XConnection::open();
};

TVisWindowWatch::TVisWindowWatch() : m_x(std::make_unique<X>()) {}
TVisWindowWatch::~TVisWindowWatch() = default;

namespace {

std::optional<RECT> screenRect(desktop::XConnection& x, HWND window) {
    if (IsWindow(window)) {
        // A form: its native window's place on the screen (inside a panel its own
        // geometry is relative to the panel). Other windows of the layer: their rect.
        if (const std::uint64_t id = win::NativeWindowId(window)) return x.rectOnScreen(xcb_window_t(id));
        RECT r;
        if (GetWindowRect(window, &r)) return r;
        return std::nullopt;
    }
    return x.rectOnScreen(xcb_window_t(reinterpret_cast<uintptr_t>(window)));
}

}  // namespace

void TVisWindowWatch::placeBesideOwner(HWND window, HWND owner) {
    if (!m_x->conn) return;
    desktop::XConnection& x = *m_x->conn;
    const auto own = screenRect(x, window);
    const auto ownerRect = owner ? screenRect(x, owner) : std::nullopt;
    if (!own || !ownerRect) return;
    const int width = own->right - own->left, height = own->bottom - own->top;
    if (width <= 0 || height <= 0 || width >= x.screenWidth() / 2) return;
    const RECT to = PlaceBesideOwner(*ownerRect, width, height, x.workArea());
    if (IsWindow(window)) {
        MoveWindow(window, to.left, to.top, to.right - to.left, to.bottom - to.top, TRUE);
        return;
    }
    const uint32_t values[] = {uint32_t(to.left), uint32_t(to.top)};
    xcb_configure_window(x.get(), xcb_window_t(reinterpret_cast<uintptr_t>(window)),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    xcb_flush(x.get());
}

void TVisWindowWatch::watchNative(HWND nativeWindow) {
    if (!m_x->conn) return;
    m_watched = uint32_t(reinterpret_cast<uintptr_t>(nativeWindow));
    const uint32_t mask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_change_window_attributes(m_x->conn->get(), m_watched, XCB_CW_EVENT_MASK, mask);
    xcb_flush(m_x->conn->get());
}

bool TVisWindowWatch::nativeWindowGone() {
    if (!m_x->conn || m_watched == 0) return false;
    bool gone = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x->conn->get())) {
        if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY &&
            reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == m_watched)
            gone = true;
        free(event);  // errors about a window already gone land here too
    }
    if (!gone && !m_x->conn->exists(m_watched)) gone = true;
    if (gone) m_watched = 0;
    return gone;
}

#else

struct TVisWindowWatch::X {};
TVisWindowWatch::TVisWindowWatch() = default;
TVisWindowWatch::~TVisWindowWatch() = default;
void TVisWindowWatch::placeBesideOwner(HWND, HWND) {}
void TVisWindowWatch::watchNative(HWND) {}
bool TVisWindowWatch::nativeWindowGone() {
    return false;
}

#endif

}  // namespace quillet::plugins
