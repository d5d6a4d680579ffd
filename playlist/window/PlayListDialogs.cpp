#include "playlist/window/PlayListDialogs.h"

#include <QFileDialog>
#include <QInputDialog>

#include "platform/win/WinApi.h"
#include "playlist/window/UGroupList.h"

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
    if (names.empty()) return -1;
    TFGroupList picker(names);
    return picker.exec() == QDialog::Accepted ? picker.Selected() : -1;
}
