#include "shell/TaskbarDock.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

TRect toTRect(const RECT& r) {
    return TRect{r.left, r.top, r.right, r.bottom};
}

}  // namespace

TTaskbarDock::TTaskbarDock(quillet::desktop::Desktop* desktop, QWidget* mini, QWidget* playlist)
    : m_desktop(desktop), m_mini(mini), m_playlist(playlist) {
    if (m_desktop) {
        m_desktop->prepareStrip(mini);
        m_desktop->setStrip(mini);
    } else if (mini) {
        mini->setWindowFlags(mini->windowFlags() | Qt::Tool | Qt::FramelessWindowHint |
                             Qt::WindowStaysOnTopHint);
    }
}

void TTaskbarDock::setPlayerpos() {
    if (!m_mini) return;
    if (!m_desktop) {
        floatStrip();
        return;
    }
    auto& d = *m_desktop;
    d.setStrip(m_mini);
    HWND taskbar = d.FindWindow("Shell_TrayWnd", nullptr);
    HWND notify = taskbar ? d.FindWindowEx(taskbar, nullptr, "TrayNotifyWnd", nullptr) : nullptr;
    RECT taskbarRect{}, notifyRect{};
    if (notify == nullptr || !d.GetWindowRect(taskbar, &taskbarRect) ||
        !d.GetWindowRect(notify, &notifyRect)) {
        floatStrip();
        return;
    }
    if (d.GetParent(m_mini) != taskbar) d.SetParent(m_mini, taskbar);
    if (d.GetParent(m_mini) != taskbar) {  // the taskbar went away meanwhile
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
                        d.screenWidth(),
                        d.screenHeight()};
    const TDockPlacement p = PlaceInTaskbar(in);
    d.SetWindowPos(m_mini, p.miniInTaskbar.x, p.miniInTaskbar.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    if (m_playlist) m_playlist->move(p.playlist.x, p.playlist.y);
}

TRect TTaskbarDock::workArea() {
    if (m_desktop) return toTRect(m_desktop->workArea());
    const QScreen* screen = m_mini->screen() ? m_mini->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return TRect{};
    const QRect a = screen->availableGeometry();
    return TRect{a.x(), a.y(), a.x() + a.width(), a.y() + a.height()};
}

void TTaskbarDock::floatStrip() {
    const bool wasDocked = m_docked || (m_desktop && m_desktop->GetParent(m_mini) != nullptr);
    m_docked = false;
    if (m_desktop) m_desktop->SetParent(m_mini, nullptr);
    if (m_floatingPlaced && !wasDocked) {
        m_mini->show();  // floating already: it stays where the user put it
        return;
    }
    const TFloatPlacement p =
        PlaceFloating(workArea(), m_mini->width(), m_mini->height(), m_playlist ? m_playlist->width() : 0,
                      m_playlist ? m_playlist->height() : 0);
    if (m_desktop) {
        m_desktop->SetWindowPos(m_mini, p.mini.x, p.mini.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    } else {
        m_mini->move(p.mini.x, p.mini.y);
        m_mini->show();
    }
    if (m_playlist) m_playlist->move(p.playlist.x, p.playlist.y);
    m_floatingPlaced = true;
}

TRect TTaskbarDock::miniOnScreen() {
    if (!m_mini) return TRect{};
    if (m_desktop) {
        RECT r{};
        m_desktop->GetWindowRect(m_mini, &r);
        return toTRect(r);
    }
    const QRect g = m_mini->frameGeometry();
    return TRect{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

TPoint TTaskbarDock::contextMenuPosition() {
    const int screenHeight = m_desktop ? m_desktop->screenHeight()
                             : QGuiApplication::primaryScreen()
                                 ? QGuiApplication::primaryScreen()->size().height()
                                 : 0;
    return ContextMenuPosition(miniOnScreen(), screenHeight, m_taskbarRect);
}
