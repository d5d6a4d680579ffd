#include "playlist/window/UGroupList.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "playlist/PlayListTexts.h"
#include "playlist/window/QtChild.h"

TFGroupList::TFGroupList(const std::vector<std::string>& names, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(plt::kPickerCaption));
    setWindowRole("grouplist");
    lstGroup = MakeChild<QListWidget>(this);
    for (const std::string& n : names) lstGroup->addItem(QString::fromStdString(n));
    if (lstGroup->count() > 0) lstGroup->setCurrentRow(0);
    btnOk = MakeChild<QPushButton>(QString::fromUtf8(plt::kPickerOk), this);
    btnCancel = MakeChild<QPushButton>(QString::fromUtf8(plt::kPickerCancel), this);
    btnOk->setDefault(true);
    QObject::connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    QObject::connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    QObject::connect(lstGroup, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* buttons = MakeChild<QHBoxLayout>();
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = MakeChild<QVBoxLayout>(this);
    layout->addWidget(lstGroup);
    layout->addLayout(buttons);
}

int TFGroupList::Selected() const {
    const QList<QListWidgetItem*> chosen = lstGroup->selectedItems();
    return chosen.isEmpty() ? -1 : lstGroup->row(chosen.front());
}
