#include "platform/win/WindowRegistry.h"

#include "platform/text/Text.h"
#include "platform/win/ThreadQueue.h"

namespace quillet::win::detail {

WindowRegistry& WindowRegistry::instance() {
    // Process-wide like the window table it stands for; never destroyed, so threads
    // that end during exit still find it.
    static WindowRegistry* registry = new WindowRegistry;
    return *registry;
}

WindowRegistry::WindowRegistry() {
    // The predefined class callers create plain child windows with.
    WindowClass staticClass;
    staticClass.name = "STATIC";
    staticClass.proc = DefWindowProc;
    staticClass.atom = nextAtom++;
    classes.emplace(qtext::asciiLower(staticClass.name), staticClass);
}

std::shared_ptr<WindowRecord> WindowRegistry::findLocked(HWND hwnd) const {
    auto it = windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    if (it == windows.end()) return nullptr;
    return it->second;
}

HWND WindowRegistry::addLocked(std::shared_ptr<WindowRecord> record) {
    HWND handle = reinterpret_cast<HWND>(nextHandle++);
    record->handle = handle;
    windows.emplace(reinterpret_cast<std::uintptr_t>(handle), std::move(record));
    return handle;
}

std::optional<WindowRoute> routeOf(HWND hwnd) {
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto record = reg.findLocked(hwnd);
    if (!record) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return std::nullopt;
    }
    return WindowRoute{record->threadId, record->queue.lock(), record->foreign, record->surface};
}

bool windowAlive(HWND hwnd) {
    if (hwnd == nullptr) return false;
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    return reg.findLocked(hwnd) != nullptr;
}

LRESULT callCurrentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    withWindow(hwnd, [&](WindowRecord& w) { proc = w.proc; });
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

void forgetThreadWindows(DWORD threadId) {
    std::vector<std::shared_ptr<WindowRecord>> gone;  // released after the lock
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    for (auto it = reg.windows.begin(); it != reg.windows.end();) {
        if (!it->second->foreign && it->second->threadId == threadId) {
            gone.push_back(std::move(it->second));
            it = reg.windows.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace quillet::win::detail
