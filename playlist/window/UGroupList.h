// The target-list picker TFGroupList: a modal list box of list names with
// "确认" and "取消". Qt Widgets.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

class TFGroupList : public QDialog {
  public:
    explicit TFGroupList(const std::vector<std::string>& names, QWidget* parent = nullptr);
    // The selected entry's index, or -1 when none is selected.
    int Selected() const;

    QListWidget* lstGroup;
    QPushButton *btnOk, *btnCancel;
};
