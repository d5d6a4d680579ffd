// The options dialog TFOptions: the order and visibility of the mini
// window's controls and whether its two bars show, written to the current
// skin's element of the settings file. Qt; user-interface thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

class TFMain;

class TFOptions : public QDialog {
  public:
    // Filled from the layout `form` shows (FormCreate). A top-level window:
    // the strip may live inside a panel, which cannot own a dialog.
    explicit TFOptions(TFMain& form);

    void FormCreate();
    void btnUpClick();
    void btnDownClick();
    // Writes the settings and closes with the result OK; a settings file that
    // cannot be written is reported and the dialog stays open.
    void btnOkClick();

    // The list's labels, left to right, and their check marks.
    std::vector<std::string> Labels() const;
    std::vector<bool> Checks() const;

    QListWidget* CheckList;
    QPushButton* btnUp;
    QPushButton* btnDown;
    QCheckBox* cbProgress;
    QCheckBox* cbVolumn;
    QPushButton* btnOk;
    QPushButton* btnCancel;

  private:
    void moveSelected(int step);

    TFMain& m_form;
};
