#include "platform/win/qt/QtFormWindow.h"

namespace quillet::win {

namespace {
RECT toRect(const QRect& r) {
    return RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}
}  // namespace

RECT QWidgetSurface::frame() const {
    return m_widget ? toRect(m_widget->frameGeometry()) : RECT{};
}

RECT QWidgetSurface::client() const {
    return m_widget ? toRect(m_widget->rect()) : RECT{};
}

void QWidgetSurface::setFrame(const RECT& frame) {
    if (m_widget)
        m_widget->setGeometry(frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
}

bool QWidgetSurface::visible() const {
    return m_widget && m_widget->isVisible();
}

void QWidgetSurface::setVisible(bool visible) {
    if (m_widget) m_widget->setVisible(visible);
}

std::uint64_t QWidgetSurface::nativeId() const {
    return m_widget ? m_widget->internalWinId() : 0;
}

HWND registerFormWindow(QWidget* form, const char* className, WNDPROC proc) {
    if (form == nullptr || className == nullptr || proc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    WNDCLASS wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    if (RegisterClass(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    const QRect g = form->frameGeometry();
    const QByteArray title = form->windowTitle().toUtf8();
    HWND hwnd = CreateWindowEx(0, className, title.constData(), WS_POPUP, g.x(), g.y(), g.width(), g.height(),
                               nullptr, nullptr, nullptr, nullptr);
    if (hwnd == nullptr) return nullptr;
    AttachWindowSurface(hwnd, std::make_shared<QWidgetSurface>(form));
    QObject::connect(form, &QObject::destroyed, [hwnd] { DestroyWindow(hwnd); });
    return hwnd;
}

}  // namespace quillet::win
