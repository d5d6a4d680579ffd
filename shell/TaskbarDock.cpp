#include "shell/TaskbarDock.h"

namespace {

TRect toTRect(const RECT& r) {
    return TRect{r.left, r.top, r.right, r.bottom};
}

}  // namespace

TTaskbarDock::TTaskbarDock(quillet::desktop::Desktop& desktop, QWidget* mini, QWidget* playlist)
    : m_desktop(desktop), m_mini(mini), m_playlist(playlist) {
    m_desktop.setStrip(mini);
}

void TTaskbarDock::setPlayerpos() {
    if (!m_mini) return;
    m_desktop.setStrip(m_mini);
    HWND taskbar = m_desktop.FindWindow("Shell_TrayWnd", nullptr);
    RECT taskbarRect{}, notifyRect{};
    if (taskbar == nullptr || !m_desktop.GetWindowRect(taskbar, &taskbarRect)) {
        floatStrip();
        return;
    }
    HWND notify = m_desktop.FindWindowEx(taskbar, nullptr, "TrayNotifyWnd", nullptr);
    if (notify == nullptr || !m_desktop.GetWindowRect(notify, &notifyRect)) {
        floatStrip();
        return;
    }
    if (m_desktop.GetParent(m_mini) != taskbar) m_desktop.SetParent(m_mini, taskbar);
    if (m_desktop.GetParent(m_mini) != taskbar) {  // the taskbar went away meanwhile
        floatStrip();
        return;
    }
    m_taskbarRect = toTRect(taskbarRect);
    m_docked = true;
    m_floatingPlaced = false;
    const TDockInput in{m_taskbarRect,
                        toTRect(notifyRect),
                        m_mini->width(),
                        m_mini->height(),
                        m_playlist ? m_playlist->width() : 0,
                        m_playlist ? m_playlist->height() : 0,
                        m_desktop.screenWidth(),
                        m_desktop.screenHeight()};
    const TDockPlacement p = PlaceInTaskbar(in);
    m_desktop.SetWindowPos(m_mini, p.miniInTaskbar.x, p.miniInTaskbar.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    if (m_playlist) m_playlist->move(p.playlist.x, p.playlist.y);
}

void TTaskbarDock::floatStrip() {
    const bool wasDocked = m_docked || m_desktop.GetParent(m_mini) != nullptr;
    m_docked = false;
    m_desktop.SetParent(m_mini, nullptr);
    if (m_floatingPlaced && !wasDocked) {
        m_mini->show();  // floating already: it stays where the user put it
        return;
    }
    const RECT wa = m_desktop.workArea();
    const TFloatPlacement p =
        PlaceFloating(toTRect(wa), m_mini->width(), m_mini->height(), m_playlist ? m_playlist->width() : 0,
                      m_playlist ? m_playlist->height() : 0);
    m_desktop.SetWindowPos(m_mini, p.mini.x, p.mini.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    if (m_playlist) m_playlist->move(p.playlist.x, p.playlist.y);
    m_floatingPlaced = true;
}

TRect TTaskbarDock::miniOnScreen() {
    RECT r{};
    if (m_mini) m_desktop.GetWindowRect(m_mini, &r);
    return toTRect(r);
}

TPoint TTaskbarDock::contextMenuPosition() {
    return ContextMenuPosition(miniOnScreen(), m_desktop.screenHeight(), m_taskbarRect);
}
