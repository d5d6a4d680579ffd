// The process's window table, window classes and registered message names (internal).
//
// Window handles are numbers handed out in increasing order and never reused, so the
// table's order is creation order. One mutex guards everything here; it is a leaf
// lock: nothing else is locked and nothing is called while it is held.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win/MessageLayer.h"

namespace quillet::win::detail {

class ThreadQueue;
void setErrorCode(DWORD code);

struct WindowRecord {
    HWND handle = nullptr;
    bool foreign = false;
    DWORD threadId = 0;  // owner thread; 0 for foreign windows
    std::weak_ptr<ThreadQueue> queue;
    std::string className;
    std::string text;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    LONG_PTR id = 0;
    LONG style = 0;
    LONG exStyle = 0;
    HWND parent = nullptr;  // HWND_MESSAGE for message-only windows
    HWND owner = nullptr;   // a top-level pop-up's owner: destroyed with it
    RECT rect{};
    bool visible = false;
    bool destroying = false;
    std::shared_ptr<WindowSurface> surface;
    std::uint64_t nativeId = 0;
};

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    UINT style = 0;
    HINSTANCE instance = nullptr;
    ATOM atom = 0;
};

class WindowRegistry {
  public:
    static WindowRegistry& instance();

    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<WindowRecord>> windows;
    std::unordered_map<std::string, WindowClass> classes;  // key: lower-case name
    std::unordered_map<std::string, UINT> messages;        // key: lower-case name
    std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> queues;
    std::unordered_map<std::uint64_t, HWND> foreignByNativeId;
    UINT nextMessage = MSG_REGISTERED_FIRST;
    ATOM nextAtom = 0xC000;
    std::uintptr_t nextHandle = 0x10000;

    // With mutex held.
    std::shared_ptr<WindowRecord> findLocked(HWND hwnd) const;
    HWND addLocked(std::shared_ptr<WindowRecord> record);

  private:
    WindowRegistry();
};

// Where messages to a window go.
struct WindowRoute {
    DWORD threadId = 0;
    std::shared_ptr<ThreadQueue> queue;  // nullptr for foreign windows
    bool foreign = false;
    std::shared_ptr<WindowSurface> surface;
};
// The route of a live window, or nothing (error code set: ERROR_INVALID_WINDOW_HANDLE).
std::optional<WindowRoute> routeOf(HWND hwnd);
bool windowAlive(HWND hwnd);
// Runs f on a live window's record with the lock held; false (error code set) when
// the window does not exist. f must not call into the layer.
template <class F>
bool withWindow(HWND hwnd, F&& f) {
    auto& reg = WindowRegistry::instance();
    std::lock_guard lock(reg.mutex);
    auto record = reg.findLocked(hwnd);
    if (!record) {
        setErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    f(*record);
    return true;
}
// Calls the window's current procedure on the calling thread (0 when it is gone).
LRESULT callCurrentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Removes the windows of a thread that has ended.
void forgetThreadWindows(DWORD threadId);

}  // namespace quillet::win::detail
