#include "platform/hook/Hook.h"

#include <memory>
#include <mutex>

#include "platform/hook/TaskbarWatcher.h"
#include "platform/win/WinApi.h"

namespace {

// The library's one registration: the window it places and its watcher.
struct Registration {
    std::mutex mutex;
    std::unique_ptr<quillet::hook::TaskbarWatcher> watcher;
};

Registration& registration() {
    static Registration r;
    return r;
}

}  // namespace

extern "C" {

BOOL HookStart(HWND hwnd, int, int, int) {
    auto& r = registration();
    std::lock_guard lock(r.mutex);
    r.watcher.reset();
    if (hwnd == nullptr) return FALSE;
    r.watcher = std::make_unique<quillet::hook::TaskbarWatcher>([hwnd] { PostMessage(hwnd, WM_USER, 0, 0); });
    if (!r.watcher->start()) {
        r.watcher.reset();
        return FALSE;
    }
    return TRUE;
}

BOOL HookChangeSize(int, int) {
    auto& r = registration();
    std::lock_guard lock(r.mutex);
    if (!r.watcher) return FALSE;
    r.watcher->stripResized();
    return TRUE;
}

BOOL HookEnd(void) {
    auto& r = registration();
    std::lock_guard lock(r.mutex);
    const bool was = r.watcher != nullptr;
    r.watcher.reset();
    return was ? TRUE : FALSE;
}

}  // extern "C"
