// Classes, window creation and destruction, lookup, window data, text and geometry.
#include <unistd.h>

#include <cstring>

#include "platform/text/Text.h"
#include "platform/win/ThreadQueue.h"
#include "platform/win/WindowRegistry.h"

using namespace quillet::win;
using namespace quillet::win::detail;

namespace {

bool sameClass(const std::string& a, const char* b) {
    return qtext::equalsIgnoreAsciiCase(a, b);
}

bool isTopLevel(const WindowRecord& w) {
    return w.parent == nullptr;
}

// Runs f with the window's surface on the thread where that is allowed: the owner
// thread for our windows (carried there like a sent message), any thread for foreign
// ones. Returns false (error set) when the window is gone.
template <class F>
bool onSurfaceThread(HWND hwnd, const WindowRoute& route, F&& f) {
    if (route.foreign || route.threadId == currentThreadId()) {
        f();
        return true;
    }
    if (!route.queue) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->call = [&f]() -> LRESULT {
        f();
        return 1;
    };
    sent->sender = currentQueue();
    if (!route.queue->enqueueSent(sent)) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    sent->sender->waitForReply(*sent);
    if (sent->result == 0) setErrorCode(ERROR_INVALID_WINDOW_HANDLE);  // its thread ended first
    return sent->result != 0;
}

struct Geometry {
    RECT frame{};
    RECT client{};
    bool visible = false;
};

std::optional<Geometry> geometryOf(HWND hwnd) {
    auto route = routeOf(hwnd);
    if (!route) return std::nullopt;
    Geometry g;
    if (route->surface) {
        auto surface = route->surface;
        if (!onSurfaceThread(hwnd, *route, [&] {
                g.frame = surface->frame();
                g.client = surface->client();
                g.visible = surface->visible();
            }))
            return std::nullopt;
        return g;
    }
    if (!withWindow(hwnd, [&](WindowRecord& w) {
            g.frame = w.rect;
            g.visible = w.visible;
        }))
        return std::nullopt;
    g.client = RECT{0, 0, g.frame.right - g.frame.left, g.frame.bottom - g.frame.top};
    return g;
}

LPARAM packPoint(LONG x, LONG y) {
    return static_cast<LPARAM>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// Moves and/or resizes: the procedure may change the place (WM_WINDOWPOSCHANGING),
// then gets WM_MOVE and WM_SIZE for what changed.
BOOL applyFrame(HWND hwnd, RECT frame, HWND insertAfter, UINT flags) {
    auto route = routeOf(hwnd);
    if (!route) return FALSE;
    if (!route->foreign) {
        WINDOWPOS pos{
            hwnd, insertAfter, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
            flags};
        SendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        frame = RECT{pos.x, pos.y, pos.x + std::max(pos.cx, 0), pos.y + std::max(pos.cy, 0)};
    }
    auto before = geometryOf(hwnd);
    if (!before) return FALSE;
    if (route->surface) {
        auto surface = route->surface;
        if (!onSurfaceThread(hwnd, *route, [&] { surface->setFrame(frame); })) return FALSE;
    } else if (!withWindow(hwnd, [&](WindowRecord& w) { w.rect = frame; })) {
        return FALSE;
    }
    if (route->foreign) return TRUE;
    const RECT& old = before->frame;
    if (old.left != frame.left || old.top != frame.top)
        SendMessage(hwnd, WM_MOVE, 0, packPoint(frame.left, frame.top));
    const LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
    if (old.right - old.left != w || old.bottom - old.top != h)
        SendMessage(hwnd, WM_SIZE, 0, packPoint(w, h));
    return TRUE;
}

int copyText(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    const std::string cut = qtext::cutToBytes(text, static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, cut.c_str(), cut.size() + 1);
    return static_cast<int>(cut.size());
}

}  // namespace

extern "C" {

ATOM RegisterClass(const WNDCLASS* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || *wc->lpszClassName == '\0' ||
        wc->lpfnWndProc == nullptr) {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    const std::string key = qtext::asciiLower(wc->lpszClassName);
    if (reg.classes.count(key)) {
        setErrorCode(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass c{wc->lpszClassName, wc->lpfnWndProc, wc->style, wc->hInstance, reg.nextAtom++};
    reg.classes.emplace(key, c);
    return c.atom;
}

BOOL UnregisterClass(const char* className, HINSTANCE) {
    if (className == nullptr) {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto it = reg.classes.find(qtext::asciiLower(className));
    if (it == reg.classes.end()) {
        setErrorCode(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    for (auto& [h, w] : reg.windows) {
        if (!w->foreign && sameClass(w->className, className)) {
            setErrorCode(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    reg.classes.erase(it);
    return TRUE;
}

HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    if (className == nullptr) {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto queue = currentQueue();
    auto record = std::make_shared<WindowRecord>();
    HWND hwnd = nullptr;
    {
        auto& reg = WindowRegistry::instance();
        std::lock_guard lock(reg.mutex);
        auto c = reg.classes.find(qtext::asciiLower(className));
        if (c == reg.classes.end()) {
            setErrorCode(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parent != nullptr && parent != HWND_MESSAGE && !reg.findLocked(parent)) {
            setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
        record->threadId = queue->threadId();
        record->queue = queue;
        record->className = c->second.name;
        record->text = windowName ? windowName : "";
        record->proc = c->second.proc;
        record->instance = instance;
        record->id = reinterpret_cast<LONG_PTR>(menu);
        record->style = static_cast<LONG>(style & ~static_cast<DWORD>(WS_VISIBLE));
        record->exStyle = static_cast<LONG>(exStyle);
        // A window given a parent without WS_CHILD is a top-level pop-up owned by it.
        const bool child = parent == HWND_MESSAGE || (parent != nullptr && (style & WS_CHILD));
        record->parent = child ? parent : nullptr;
        record->owner = child ? nullptr : parent;
        record->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
        hwnd = reg.addLocked(record);
    }
    CREATESTRUCT cs{param,
                    instance,
                    menu,
                    parent == HWND_MESSAGE ? nullptr : parent,
                    height,
                    width,
                    y,
                    x,
                    static_cast<LONG>(style),
                    windowName,
                    className,
                    exStyle};
    if (SendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0 ||
        SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        setErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

HWND CreateWindow(const char* className, const char* windowName, DWORD style, int x, int y, int width,
                  int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    return CreateWindowEx(0, className, windowName, style, x, y, width, height, parent, menu, instance,
                          param);
}

BOOL DestroyWindow(HWND hwnd) {
    std::shared_ptr<ThreadQueue> queue;
    bool foreign = false, otherThread = false, again = false;
    if (!withWindow(hwnd, [&](WindowRecord& w) {
            foreign = w.foreign;
            otherThread = w.threadId != currentThreadId();
            again = w.destroying;
            queue = w.queue.lock();
            if (!foreign && !otherThread) w.destroying = true;
        }))
        return FALSE;
    if (foreign || otherThread) {
        setErrorCode(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (again) return TRUE;  // DestroyWindow from inside its own WM_DESTROY

    SendMessage(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        auto& reg = WindowRegistry::instance();
        std::lock_guard lock(reg.mutex);
        for (auto& [h, w] : reg.windows) {
            if ((w->parent == hwnd || w->owner == hwnd) && !w->foreign) children.push_back(w->handle);
        }
    }
    for (HWND child : children) DestroyWindow(child);
    SendMessage(hwnd, WM_NCDESTROY, 0, 0);

    std::shared_ptr<WindowRecord> gone;  // released after the lock
    {
        auto& reg = WindowRegistry::instance();
        std::lock_guard lock(reg.mutex);
        auto it = reg.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
        if (it != reg.windows.end()) {
            gone = std::move(it->second);
            reg.windows.erase(it);
        }
    }
    if (queue) {
        queue->killTimers(hwnd);
        queue->purge(hwnd);
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return windowAlive(hwnd) ? TRUE : FALSE;
}

HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* windowName) {
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto it = reg.windows.begin();
    if (childAfter != nullptr) {
        it = reg.windows.upper_bound(reinterpret_cast<std::uintptr_t>(childAfter));
    }
    for (; it != reg.windows.end(); ++it) {
        const WindowRecord& w = *it->second;
        if (w.parent != parent || w.destroying) continue;
        if (className != nullptr && !sameClass(w.className, className)) continue;
        if (windowName != nullptr && !qtext::equalsIgnoreAsciiCase(w.text, windowName)) continue;
        return w.handle;
    }
    return nullptr;
}

HWND FindWindow(const char* className, const char* windowName) {
    return FindWindowEx(nullptr, nullptr, className, windowName);
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
    if (proc == nullptr) {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> handles;
    {
        auto& reg = WindowRegistry::instance();
        std::lock_guard lock(reg.mutex);
        for (auto& [h, w] : reg.windows) {
            if (isTopLevel(*w) && !w->destroying) handles.push_back(w->handle);
        }
    }
    for (HWND h : handles) {
        if (IsWindow(h) && !proc(h, lParam)) break;
    }
    return TRUE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    DWORD thread = 0;
    bool foreign = false;
    if (!withWindow(hwnd, [&](WindowRecord& w) {
            thread = w.threadId;
            foreign = w.foreign;
        }))
        return 0;
    if (processId) *processId = foreign ? 0 : static_cast<DWORD>(getpid());
    return thread;
}

int GetClassName(HWND hwnd, char* buffer, int size) {
    std::string name;
    if (!withWindow(hwnd, [&](WindowRecord& w) { name = w.className; })) return 0;
    return copyText(name, buffer, size);
}

HWND GetParent(HWND hwnd) {
    HWND parent = nullptr;
    withWindow(hwnd, [&](WindowRecord& w) {
        parent = w.parent == HWND_MESSAGE ? nullptr : w.parent ? w.parent : w.owner;
    });
    return parent;
}

HWND SetParent(HWND hwnd, HWND newParent) {
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto record = reg.findLocked(hwnd);
    auto parent = newParent ? reg.findLocked(newParent) : nullptr;
    if (!record || (newParent && !parent)) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (record->foreign || (parent && parent->foreign)) {
        setErrorCode(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // Not into itself, nor into a window below it.
    for (auto p = parent; p;
         p = p->parent && p->parent != HWND_MESSAGE ? reg.findLocked(p->parent) : nullptr) {
        if (p == record) {
            setErrorCode(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    HWND old = record->parent == HWND_MESSAGE ? nullptr : record->parent ? record->parent : record->owner;
    record->parent = newParent;
    record->owner = nullptr;
    // The layer answers 0 for a window without a parent: tell it from a failure.
    if (!old) setErrorCode(ERROR_SUCCESS);
    return old;
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    LONG_PTR value = 0;
    bool valid = true;
    withWindow(hwnd, [&](WindowRecord& w) {
        switch (index) {
            case GWLP_WNDPROC:
                value = reinterpret_cast<LONG_PTR>(w.proc);
                break;
            case GWLP_USERDATA:
                value = w.userData;
                break;
            case GWL_STYLE:
                value = w.style | (w.visible ? WS_VISIBLE : 0);
                break;
            case GWL_EXSTYLE:
                value = w.exStyle;
                break;
            case GWLP_ID:
                value = w.id;
                break;
            case GWLP_HINSTANCE:
                value = reinterpret_cast<LONG_PTR>(w.instance);
                break;
            case GWLP_HWNDPARENT:
                value = reinterpret_cast<LONG_PTR>(w.parent == HWND_MESSAGE ? nullptr
                                                   : w.parent               ? w.parent
                                                                            : w.owner);
                break;
            default:
                valid = false;
        }
    });
    if (!valid) setErrorCode(ERROR_INVALID_INDEX);
    return value;
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    if (index == GWLP_WNDPROC && value == 0) {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    LONG_PTR old = 0;
    bool valid = true, foreign = false;
    setErrorCode(ERROR_SUCCESS);  // so a previous value of 0 can be told from a failure
    if (!withWindow(hwnd, [&](WindowRecord& w) {
            foreign = w.foreign;
            if (foreign) return;
            switch (index) {
                case GWLP_WNDPROC:
                    old = reinterpret_cast<LONG_PTR>(w.proc);
                    w.proc = reinterpret_cast<WNDPROC>(value);
                    break;
                case GWLP_USERDATA:
                    old = w.userData;
                    w.userData = value;
                    break;
                case GWL_STYLE:
                    old = w.style | (w.visible ? WS_VISIBLE : 0);
                    w.style = static_cast<LONG>(value & ~static_cast<LONG_PTR>(WS_VISIBLE));
                    break;
                case GWL_EXSTYLE:
                    old = w.exStyle;
                    w.exStyle = static_cast<LONG>(value);
                    break;
                case GWLP_ID:
                    old = w.id;
                    w.id = value;
                    break;
                default:
                    valid = false;
            }
        }))
        return 0;
    if (foreign) {
        setErrorCode(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (!valid) setErrorCode(ERROR_INVALID_INDEX);
    return old;
}

LONG GetWindowLong(HWND hwnd, int index) {
    return static_cast<LONG>(GetWindowLongPtr(hwnd, index));
}

LONG SetWindowLong(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value));
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (proc == nullptr) {
        setErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return proc(hwnd, msg, wParam, lParam);
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NCCREATE:
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_GETTEXT: {
            std::string text;
            withWindow(hwnd, [&](WindowRecord& w) { text = w.text; });
            return copyText(text, reinterpret_cast<char*>(lParam),
                            static_cast<int>(std::min<WPARAM>(wParam, INT32_MAX)));
        }
        case WM_GETTEXTLENGTH: {
            std::size_t length = 0;
            withWindow(hwnd, [&](WindowRecord& w) { length = w.text.size(); });
            return static_cast<LRESULT>(length);
        }
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            return withWindow(hwnd, [&](WindowRecord& w) { w.text = text ? text : ""; }) ? TRUE : FALSE;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        default:
            return 0;
    }
}

int GetWindowText(HWND hwnd, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    auto route = routeOf(hwnd);
    if (!route) {
        *buffer = '\0';
        return 0;
    }
    if (route->foreign) {
        std::string text;
        withWindow(hwnd, [&](WindowRecord& w) { text = w.text; });
        return copyText(text, buffer, size);
    }
    *buffer = '\0';
    return static_cast<int>(
        SendMessage(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND hwnd) {
    auto route = routeOf(hwnd);
    if (!route) return 0;
    if (route->foreign) {
        std::size_t length = 0;
        withWindow(hwnd, [&](WindowRecord& w) { length = w.text.size(); });
        return static_cast<int>(length);
    }
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetWindowText(HWND hwnd, const char* text) {
    auto route = routeOf(hwnd);
    if (!route) return FALSE;
    if (route->foreign) {
        setErrorCode(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    auto g = geometryOf(hwnd);
    if (!g || rect == nullptr) return FALSE;
    *rect = g->frame;
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    auto g = geometryOf(hwnd);
    if (!g || rect == nullptr) return FALSE;
    *rect = g->client;
    return TRUE;
}

BOOL IsWindowVisible(HWND hwnd) {
    auto g = geometryOf(hwnd);
    return g && g->visible ? TRUE : FALSE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return applyFrame(hwnd, RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)}, nullptr,
                      SWP_NOZORDER);
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    auto g = geometryOf(hwnd);
    if (!g) return FALSE;
    if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
        RECT frame = g->frame;
        if (!(flags & SWP_NOMOVE)) {
            const LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
            frame = RECT{x, y, x + w, y + h};
        }
        if (!(flags & SWP_NOSIZE)) {
            frame.right = frame.left + std::max(cx, 0);
            frame.bottom = frame.top + std::max(cy, 0);
        }
        if (!applyFrame(hwnd, frame, insertAfter, flags)) return FALSE;
    }
    if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOWNA);
    if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL ShowWindow(HWND hwnd, int command) {
    auto route = routeOf(hwnd);
    if (!route) return FALSE;
    const bool show = command != SW_HIDE;
    bool was = false;
    if (route->surface) {
        auto surface = route->surface;
        if (!onSurfaceThread(hwnd, *route, [&] {
                was = surface->visible();
                if (was != show) surface->setVisible(show);
            }))
            return FALSE;
    } else if (!withWindow(hwnd, [&](WindowRecord& w) {
                   was = w.visible;
                   w.visible = show;
               })) {
        return FALSE;
    }
    if (was != show && !route->foreign) SendMessage(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    return was ? TRUE : FALSE;
}

}  // extern "C"

namespace quillet::win {

bool AttachWindowSurface(HWND hwnd, std::shared_ptr<WindowSurface> surface) {
    std::shared_ptr<WindowSurface> old;  // released after the lock
    bool ok = false;
    if (!withWindow(hwnd, [&](WindowRecord& w) {
            if (w.foreign || w.threadId != currentThreadId()) return;
            old = std::move(w.surface);
            w.surface = std::move(surface);
            ok = true;
        }))
        return false;
    if (!ok) setErrorCode(ERROR_ACCESS_DENIED);
    return ok;
}

HWND RegisterForeignWindow(std::uint64_t nativeId, const std::string& className, const std::string& title,
                           std::shared_ptr<WindowSurface> surface) {
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    if (auto it = reg.foreignByNativeId.find(nativeId); it != reg.foreignByNativeId.end()) {
        if (auto record = reg.findLocked(it->second)) {
            record->className = className;
            record->text = title;
            record->surface = std::move(surface);
            return it->second;
        }
    }
    auto record = std::make_shared<WindowRecord>();
    record->foreign = true;
    record->className = className;
    record->text = title;
    record->surface = std::move(surface);
    record->nativeId = nativeId;
    HWND hwnd = reg.addLocked(std::move(record));
    reg.foreignByNativeId[nativeId] = hwnd;
    return hwnd;
}

HWND FindForeignWindow(std::uint64_t nativeId) {
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto it = reg.foreignByNativeId.find(nativeId);
    return it != reg.foreignByNativeId.end() && reg.findLocked(it->second) ? it->second : nullptr;
}

bool ForgetForeignWindow(HWND hwnd) {
    std::shared_ptr<WindowRecord> gone;  // released after the lock
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto it = reg.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    if (it == reg.windows.end() || !it->second->foreign) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    reg.foreignByNativeId.erase(it->second->nativeId);
    gone = std::move(it->second);
    reg.windows.erase(it);
    return true;
}

std::uint64_t NativeWindowId(HWND hwnd) {
    auto route = routeOf(hwnd);
    if (!route || !route->surface) return 0;
    auto surface = route->surface;
    std::uint64_t id = 0;
    if (!onSurfaceThread(hwnd, *route, [&] { id = surface->nativeId(); })) return 0;
    return id;
}

}  // namespace quillet::win
