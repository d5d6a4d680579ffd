#include "platform/desktop/X11.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace quillet::desktop {

namespace {

template <class T>
struct FreeDeleter {
    // xcb replies are malloc'd.
    void operator()(T* p) const { std::free(p); }  // NOLINT(cppcoreguidelines-owning-memory)
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

// How deep below the root (or a panel) the searches look: a window manager's
// frame, its client, and a tray's wrapper around an icon.
constexpr int kSearchDepth = 3;

}  // namespace

std::unique_ptr<XConnection> XConnection::open(const char* display) {
    xcb_connection_t* conn = xcb_connect(display, nullptr);
    if (conn == nullptr || xcb_connection_has_error(conn)) {
        if (conn) xcb_disconnect(conn);
        return nullptr;
    }
    return std::unique_ptr<XConnection>(new XConnection(conn, true));
}

XConnection::XConnection(xcb_connection_t* borrowed) : XConnection(borrowed, false) {}

XConnection::XConnection(xcb_connection_t* conn, bool owned) : m_conn(conn), m_owned(owned) {
    const xcb_setup_t* setup = xcb_get_setup(m_conn);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    if (it.rem) {
        m_root = it.data->root;
        m_width = it.data->width_in_pixels;
        m_height = it.data->height_in_pixels;
    }
}

XConnection::~XConnection() {
    if (m_owned) xcb_disconnect(m_conn);
}

xcb_atom_t XConnection::atom(const char* name) {
    std::lock_guard lock(m_atomsMutex);
    if (auto it = m_atoms.find(name); it != m_atoms.end()) return it->second;
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        m_conn, xcb_intern_atom(m_conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    if (a != XCB_ATOM_NONE) m_atoms.emplace(name, a);
    return a;
}

std::string XConnection::wmClass(xcb_window_t w) {
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        m_conn, xcb_get_property(m_conn, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
    if (!r || r->format != 8) return {};
    const char* data = static_cast<const char*>(xcb_get_property_value(r.get()));
    const int length = xcb_get_property_value_length(r.get());
    // "instance\0class\0": the class follows the first terminator.
    const char* end = data + length;
    const char* cls = static_cast<const char*>(std::memchr(data, '\0', static_cast<std::size_t>(length)));
    if (cls == nullptr || ++cls >= end) return {};
    const char* clsEnd =
        static_cast<const char*>(std::memchr(cls, '\0', static_cast<std::size_t>(end - cls)));
    return std::string(cls, clsEnd ? clsEnd : end);
}

std::vector<xcb_window_t> XConnection::children(xcb_window_t w) {
    Reply<xcb_query_tree_reply_t> r(xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, w), nullptr));
    if (!r) return {};
    const xcb_window_t* c = xcb_query_tree_children(r.get());
    return std::vector<xcb_window_t>(c, c + xcb_query_tree_children_length(r.get()));
}

xcb_window_t XConnection::parent(xcb_window_t w) {
    Reply<xcb_query_tree_reply_t> r(xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, w), nullptr));
    return r ? r->parent : XCB_NONE;
}

std::optional<RECT> XConnection::rectOnScreen(xcb_window_t w) {
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, w), nullptr));
    if (!g) return std::nullopt;
    Reply<xcb_translate_coordinates_reply_t> t(
        xcb_translate_coordinates_reply(m_conn, xcb_translate_coordinates(m_conn, w, m_root, 0, 0), nullptr));
    if (!t) return std::nullopt;
    const int b = g->border_width;
    const int left = t->dst_x - b, top = t->dst_y - b;
    return RECT{left, top, left + g->width + 2 * b, top + g->height + 2 * b};
}

bool XConnection::viewable(xcb_window_t w) {
    Reply<xcb_get_window_attributes_reply_t> r(
        xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, w), nullptr));
    return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool XConnection::exists(xcb_window_t w) {
    Reply<xcb_get_window_attributes_reply_t> r(
        xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, w), nullptr));
    return r != nullptr;
}

std::vector<std::uint32_t> XConnection::cardinals(xcb_window_t w, xcb_atom_t property) {
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        m_conn, xcb_get_property(m_conn, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr));
    if (!r || r->format != 32) return {};
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(r.get()) / 4);
}

bool XConnection::hasProperty(xcb_window_t w, xcb_atom_t property) {
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        m_conn, xcb_get_property(m_conn, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
    return r && r->type != XCB_ATOM_NONE;
}

RECT XConnection::workArea() {
    const auto v = cardinals(m_root, atom("_NET_WORKAREA"));
    if (v.size() >= 4 && v[2] > 0 && v[3] > 0) {
        const int x = static_cast<int>(v[0]), y = static_cast<int>(v[1]);
        return RECT{x, y, x + static_cast<int>(v[2]), y + static_cast<int>(v[3])};
    }
    return RECT{0, 0, m_width, m_height};
}

void XConnection::sync() {
    Reply<xcb_get_input_focus_reply_t> r(
        xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
}

bool IsOwnWindow(XConnection& x, xcb_window_t w, const OwnWindows& own) {
    if (own.windows.count(w)) return true;
    const auto pid = x.cardinals(w, x.atom("_NET_WM_PID"));
    const std::uint32_t ours = own.pid ? own.pid : static_cast<std::uint32_t>(getpid());
    return !pid.empty() && pid[0] == ours;
}

namespace {

// Windows at depth 1..levels below top, ours and their subtrees left out.
void collect(XConnection& x, xcb_window_t top, int levels, const OwnWindows& own,
             std::vector<xcb_window_t>& out) {
    if (levels == 0) return;
    for (xcb_window_t c : x.children(top)) {
        if (IsOwnWindow(x, c, own)) continue;
        out.push_back(c);
        collect(x, c, levels - 1, own, out);
    }
}

bool touchesScreenEdge(const RECT& r, int width, int height) {
    return r.left <= 0 || r.top <= 0 || r.right >= width || r.bottom >= height;
}

bool isDock(XConnection& x, xcb_window_t w) {
    const xcb_atom_t dock = x.atom("_NET_WM_WINDOW_TYPE_DOCK");
    for (std::uint32_t t : x.cardinals(w, x.atom("_NET_WM_WINDOW_TYPE"))) {
        if (t == dock) return true;
    }
    return false;
}

}  // namespace

std::vector<xcb_window_t> FindTopLevelByClass(XConnection& x, const std::string& className,
                                              const OwnWindows& own) {
    std::vector<xcb_window_t> all, found;
    collect(x, x.root(), 2, own, all);
    for (xcb_window_t w : all) {
        if (x.wmClass(w) == className) found.push_back(w);
    }
    return found;
}

xcb_window_t FindChildByClass(XConnection& x, xcb_window_t parent, const std::string& className) {
    std::vector<xcb_window_t> all;
    collect(x, parent, kSearchDepth, OwnWindows{}, all);
    for (xcb_window_t w : all) {
        if (x.wmClass(w) == className) return w;
    }
    return XCB_NONE;
}

std::optional<Taskbar> FindTaskbar(XConnection& x, const OwnWindows& own) {
    const auto byClass = FindTopLevelByClass(x, "Shell_TrayWnd", own);
    if (!byClass.empty())
        return Taskbar{byClass.front(), true, FindChildByClass(x, byClass.front(), "TrayNotifyWnd")};
    std::vector<xcb_window_t> all;
    collect(x, x.root(), 2, own, all);
    std::optional<Taskbar> best;
    int bestScore = -1;
    for (xcb_window_t w : all) {
        if (!isDock(x, w) || !x.viewable(w)) continue;
        const auto r = x.rectOnScreen(w);
        if (!r || !touchesScreenEdge(*r, x.screenWidth(), x.screenHeight())) continue;
        const int score = (TrayIconsBox(x, w, own) ? 2 : 0) + (r->bottom >= x.screenHeight() ? 1 : 0);
        if (score > bestScore) {
            bestScore = score;
            best = Taskbar{w, false, XCB_NONE};
        }
    }
    return best;
}

std::optional<RECT> TrayIconsBox(XConnection& x, xcb_window_t panel, const OwnWindows& own) {
    const xcb_atom_t xembed = x.atom("_XEMBED_INFO");
    std::optional<RECT> box;
    for (xcb_window_t child : x.children(panel)) {
        if (IsOwnWindow(x, child, own) || !x.viewable(child)) continue;
        bool holdsIcon = x.hasProperty(child, xembed);
        if (!holdsIcon) {
            std::vector<xcb_window_t> below;
            collect(x, child, kSearchDepth - 1, own, below);
            holdsIcon = std::any_of(below.begin(), below.end(), [&](xcb_window_t w) {
                return x.hasProperty(w, xembed) && x.viewable(w);
            });
        }
        if (!holdsIcon) continue;
        const auto r = x.rectOnScreen(child);
        if (!r) continue;
        if (!box) {
            box = *r;
        } else {
            box->left = std::min(box->left, r->left);
            box->top = std::min(box->top, r->top);
            box->right = std::max(box->right, r->right);
            box->bottom = std::max(box->bottom, r->bottom);
        }
    }
    return box;
}

RECT PanelNotifyRect(const RECT& panel, const std::optional<RECT>& trayIcons, int stripWidth,
                     int stripHeight) {
    const bool horizontal = panel.right - panel.left > panel.bottom - panel.top;
    if (horizontal) {
        const int stripRight = trayIcons ? trayIcons->left : panel.right;
        const int stripLeft = std::max(panel.left, stripRight - stripWidth);
        return RECT{stripLeft - 1, panel.top, stripLeft - 1, panel.bottom};
    }
    const int stripBottom = trayIcons ? trayIcons->top : panel.bottom;
    const int stripTop = std::max(panel.top, stripBottom - stripHeight);
    return RECT{panel.left, stripTop - 1, panel.right, stripTop - 1};
}

}  // namespace quillet::desktop
