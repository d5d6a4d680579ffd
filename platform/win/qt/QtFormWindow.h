// Window handles for Qt forms: a form registers itself and from then on the layer's
// geometry and visibility calls (GetWindowRect, MoveWindow, ShowWindow...) act on the
// widget, and messages to the handle reach the form's window procedure (the hook
// library's WM_USER, plug-ins' WM_USER IPC queries, subclassing by the visualisation
// driver).
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/win/MessageLayer.h"

namespace quillet::win {

// The layer's view of a widget. Called by the layer on the widget's thread only. The
// frame is the widget's frame geometry on the screen; setting it places the widget at
// that rectangle (our skinned forms have no system frame). A widget that is gone
// reads as an empty, hidden window.
class QWidgetSurface : public WindowSurface {
  public:
    explicit QWidgetSurface(QWidget* widget) : m_widget(widget) {}
    RECT frame() const override;
    RECT client() const override;
    void setFrame(const RECT& frame) override;
    bool visible() const override;
    void setVisible(bool visible) override;
    std::uint64_t nativeId() const override;  // 0 until Qt made a native window

  private:
    QPointer<QWidget> m_widget;
};

// On the form's (user-interface) thread: creates the form's window handle, of class
// className (registered with proc when no class of that name exists yet) and titled
// with the form's window title. The handle is destroyed when the form is. Returns
// nullptr (error code set) on failure.
HWND registerFormWindow(QWidget* form, const char* className, WNDPROC proc);

}  // namespace quillet::win
