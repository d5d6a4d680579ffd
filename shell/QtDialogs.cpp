#include "shell/QtDialogs.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <vector>

#include "platform/win/WinApi.h"

namespace {

// A message box centred on the screen once it has its size. Qt's own
// placement guesses a window manager's frame (and is off by that guess where
// there is none), and a strip docked in a panel has no window of its own to
// centre on.
class TCentredBox : public QMessageBox {
  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        const QScreen* s = QGuiApplication::screenAt(QCursor::pos());
        if (s == nullptr) s = QGuiApplication::primaryScreen();
        if (s != nullptr) move(s->availableGeometry().center() - rect().center());
    }
};

int showBox(const std::string& text, const std::string& caption, UINT type) {
    TCentredBox box;
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    box.setWindowRole("message");
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int id;
    };
    std::vector<Choice> choices;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNO:
            choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        case MB_YESNOCANCEL:
            choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_RETRYCANCEL:
            choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_ABORTRETRYIGNORE:
            choices = {{QMessageBox::Abort, IDABORT},
                       {QMessageBox::Retry, IDRETRY},
                       {QMessageBox::Ignore, IDIGNORE}};
            break;
        default:
            choices = {{QMessageBox::Ok, IDOK}};
            break;
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& c : choices) buttons |= c.button;
    box.setStandardButtons(buttons);
    const std::size_t def = std::min<std::size_t>(((type & MB_DEFMASK) >> 8), choices.size() - 1);
    box.setDefaultButton(choices[def].button);
    const auto chosen = QMessageBox::StandardButton(box.exec());
    for (const Choice& c : choices)
        if (c.button == chosen) return c.id;
    // Closed with the window's close button: the cancelling answer, else the default.
    return (type & MB_TYPEMASK) == MB_OK ? IDOK : quillet::win::defaultButton(type);
}

}  // namespace

TQtMessageBoxPresenter::TQtMessageBoxPresenter() = default;

int TQtMessageBoxPresenter::present(HWND, const std::string& text, const std::string& caption, UINT type) {
    if (QThread::currentThread() == m_context.thread()) return showBox(text, caption, type);
    int answer = 0;
    QMetaObject::invokeMethod(
        &m_context, [&] { answer = showBox(text, caption, type); }, Qt::BlockingQueuedConnection);
    return answer;
}
