#include "shell/QtDialogs.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QThread>

#include "platform/win/WinApi.h"
#include "playlist/PlayListTexts.h"

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

bool TQtPlayListDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                                    std::string& value) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(nullptr, QString::fromStdString(caption), QString::fromStdString(prompt),
                              QLineEdit::Normal, QString::fromStdString(value), &ok);
    if (ok) value = text.toStdString();
    return ok;
}

bool TQtPlayListDialogs::AskYesNo(const std::string& text, const std::string& caption) {
    return MessageBox(nullptr, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TQtPlayListDialogs::ShowMessage(const std::string& text, const std::string& caption, TMsgIcon icon) {
    UINT type = MB_OK;
    switch (icon) {
        case TMsgIcon::Information:
            type |= MB_ICONINFORMATION;
            break;
        case TMsgIcon::Warning:
            type |= MB_ICONWARNING;
            break;
        case TMsgIcon::Error:
            type |= MB_ICONERROR;
            break;
        case TMsgIcon::Question:
            type |= MB_ICONQUESTION;
            break;
        case TMsgIcon::None:
            break;
    }
    MessageBox(nullptr, text.c_str(), caption.c_str(), type);
}

bool TQtPlayListDialogs::OpenFiles(const std::string& filter, std::vector<std::string>& files) {
    if (OpenFilesAnswer) return OpenFilesAnswer(files);
    // "description|patterns|..." into Qt's "description (patterns);;..." with
    // the patterns separated by spaces.
    QStringList filters;
    const QStringList parts = QString::fromStdString(filter).split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        QString description = parts[i];
        const int paren = description.indexOf('(');
        if (paren >= 0) description = description.left(paren).trimmed();
        filters << description + " (" + patterns.trimmed() + ")";
    }
    const QStringList chosen =
        QFileDialog::getOpenFileNames(nullptr, QString(), QString(), filters.join(";;"));
    files.clear();
    for (const QString& f : chosen) files.push_back(f.toStdString());
    return !files.empty();
}

int TQtPlayListDialogs::PickList(const std::vector<std::string>& names) {
    QStringList items;
    for (const std::string& n : names) items << QString::fromStdString(n);
    if (items.isEmpty()) return -1;
    bool ok = false;
    const QString picked = QInputDialog::getItem(nullptr, QString::fromUtf8(plt::kPickerCaption), QString(),
                                                 items, 0, false, &ok);
    return ok ? int(items.indexOf(picked)) : -1;
}
