// The emulated Winamp window: the hidden window through which plug-ins find the
// player (by its class name) and ask it questions with window messages.
#include "platform/win/WinApi.h"
#include "plugins/HostMirror.h"
#include "plugins/PluginHost.h"
#include "plugins/WinampIPC.h"

namespace quillet::plugins {

namespace {

constexpr const char* kClassName = "Winamp v1.x";
constexpr const char* kTitle = "Winamp 2.41";
constexpr UINT kClassStyleParentDC = 0x0080;
constexpr int kLeft = 5, kTop = 5, kWidth = 25, kHeight = 25;

LRESULT WinampWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_WA_IPC:
            return EmulatedWindowIPC(wParam, lParam);
        case WM_GETTEXT:
            return CopyAnswerText(EmulatedWindowText(PluginHost().mirror().streamInfo().Title),
                                  reinterpret_cast<char*>(lParam), wParam);
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

void THostMirror::createWinampWindow(HWND owner) {
    WNDCLASS wc{};
    wc.style = kClassStyleParentDC;
    wc.lpfnWndProc = WinampWindowProc;
    wc.lpszClassName = kClassName;
    if (!RegisterClass(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
    // A hidden top-level pop-up owned by the player's owner, not a message-only
    // window: FindWindow must see it.
    HWND window = CreateWindowEx(0, kClassName, kTitle, WS_POPUP, kLeft, kTop, kWidth, kHeight, owner,
                                 nullptr, nullptr, nullptr);
    if (!window) {
        UnregisterClass(kClassName, nullptr);
        return;
    }
    m_winampWindow = window;
    m_winampWindowProc = reinterpret_cast<WNDPROC>(GetWindowLongPtr(window, GWLP_WNDPROC));
}

void THostMirror::destroyWinampWindow() {
    HWND window = m_winampWindow;
    if (window && IsWindow(window)) {
        // A plug-in that subclassed the window and went away leaves its procedure
        // behind; the window's last messages must not reach it.
        if (reinterpret_cast<WNDPROC>(GetWindowLongPtr(window, GWLP_WNDPROC)) != m_winampWindowProc)
            SetWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_winampWindowProc));
        DestroyWindow(window);
    }
    UnregisterClass(kClassName, nullptr);
    m_winampWindow = nullptr;
    m_winampWindowProc = nullptr;
}

}  // namespace quillet::plugins
