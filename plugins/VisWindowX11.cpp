#include "plugins/VisWindowX11.h"

#include "platform/win/MessageLayer.h"
#include "plugins/VisDriver.h"

#ifdef QUILLET_VIS_X11
#include "platform/desktop/X11.h"
#endif

namespace quillet::plugins {

#ifdef QUILLET_VIS_X11

struct TVisPlacement::X {
    std::unique_ptr<desktop::XConnection> conn = desktop::XConnection::open();
};

TVisPlacement::TVisPlacement() : m_x(std::make_unique<X>()) {}
TVisPlacement::~TVisPlacement() = default;

namespace {

std::optional<RECT> screenRect(desktop::XConnection& x, HWND window) {
    // A form: its native window's place on the screen (inside a panel its own
    // geometry is relative to the panel). Other windows of the layer: their rect.
    if (const std::uint64_t id = win::NativeWindowId(window)) return x.rectOnScreen(xcb_window_t(id));
    RECT r;
    if (GetWindowRect(window, &r)) return r;
    return std::nullopt;
}

}  // namespace

void TVisPlacement::placeBesideOwner(HWND window, HWND owner) {
    if (!m_x->conn) return;
    desktop::XConnection& x = *m_x->conn;
    const auto own = screenRect(x, window);
    const auto ownerRect = owner ? screenRect(x, owner) : std::nullopt;
    if (!own || !ownerRect) return;
    const int width = own->right - own->left, height = own->bottom - own->top;
    if (width <= 0 || height <= 0 || width >= x.screenWidth() / 2) return;
    const RECT to = PlaceBesideOwner(*ownerRect, width, height, x.workArea());
    MoveWindow(window, to.left, to.top, to.right - to.left, to.bottom - to.top, TRUE);
}

#else

struct TVisPlacement::X {};
TVisPlacement::TVisPlacement() = default;
TVisPlacement::~TVisPlacement() = default;
void TVisPlacement::placeBesideOwner(HWND, HWND) {}

#endif

}  // namespace quillet::plugins
