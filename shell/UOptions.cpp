#include "shell/UOptions.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/win/WinApi.h"
#include "shell/ButtonSettings.h"
#include "shell/QtOwned.h"
#include "shell/Settings.h"
#include "shell/UMain.h"

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// One row of eight columns: wide enough for the longest label.
constexpr int kColumnWidth = 66;
constexpr int kRowHeight = 24;

}  // namespace

TFOptions::TFOptions(TFMain& form)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      m_form(form) {
    setWindowRole(QStringLiteral("options"));
    setWindowTitle(u8("设置"));
    setModal(true);

    auto* tabs = QtOwned<QTabWidget>(this);
    auto* page = QtOwned<QWidget>();
    tabs->addTab(page, u8("控制按钮"));
    auto* group = QtOwned<QGroupBox>(u8("按钮顺序和可见设置"), page);

    CheckList = QtOwned<QListWidget>(group);
    CheckList->setFlow(QListView::LeftToRight);
    CheckList->setWrapping(false);
    CheckList->setGridSize(QSize(kColumnWidth, kRowHeight));
    CheckList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CheckList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CheckList->setSelectionMode(QAbstractItemView::SingleSelection);
    btnUp = QtOwned<QPushButton>(u8("前移"), group);
    btnDown = QtOwned<QPushButton>(u8("后移"), group);
    auto* moves = QtOwned<QHBoxLayout>();
    moves->addStretch();
    moves->addWidget(btnUp);
    moves->addWidget(btnDown);
    auto* groupLayout = QtOwned<QVBoxLayout>(group);
    groupLayout->addWidget(CheckList);
    groupLayout->addLayout(moves);

    cbProgress = QtOwned<QCheckBox>(u8("显示播放进度"), page);
    cbVolumn = QtOwned<QCheckBox>(u8("显示音量控制"), page);
    auto* pageLayout = QtOwned<QVBoxLayout>(page);
    pageLayout->addWidget(group);
    pageLayout->addWidget(cbProgress);
    pageLayout->addWidget(cbVolumn);
    pageLayout->addStretch();

    btnOk = QtOwned<QPushButton>(u8("确定"), this);
    btnCancel = QtOwned<QPushButton>(u8("取消"), this);
    btnOk->setDefault(true);
    auto* buttons = QtOwned<QHBoxLayout>();
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = QtOwned<QVBoxLayout>(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnUp, &QPushButton::clicked, this, [this] { btnUpClick(); });
    connect(btnDown, &QPushButton::clicked, this, [this] { btnDownClick(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TFOptions::FormCreate() {
    // The layout in force: the file's lists when the skin has them, else the
    // ones the strip shows (the skin's or the built-in defaults), so that a
    // confirmation without changes keeps the strip as it is.
    std::string order = m_form.ButtonOrder;
    std::string check = m_form.ButtonCheck;
    if (const auto settings = m_form.Settings().readSkin(m_form.CurrentSkinName)) {
        if (settings->buttonOrder) {
            order = *settings->buttonOrder;
            check = settings->buttonCheck.value_or(std::string());
        }
    }
    const std::vector<std::string> names = SplitSettingList(order);
    const std::vector<std::string> flags = PaddedCheck(names, SplitSettingList(check));
    CheckList->clear();
    for (size_t i = 0; i < names.size(); ++i) {
        auto* item = QtOwned<QListWidgetItem>(QString::fromStdString(ButtonLabel(names[i])), CheckList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(SettingShowsButton(flags[i]) ? Qt::Checked : Qt::Unchecked);
    }
    // Eight columns, more when the file names more controls: all in one row.
    CheckList->setFixedSize(kColumnWidth * std::max(8, CheckList->count()) + 4, kRowHeight + 6);
    cbProgress->setChecked(!m_form.imgProgress->isHidden());
    cbVolumn->setChecked(!m_form.imgVol->isHidden());
}

void TFOptions::moveSelected(int step) {
    const QList<QListWidgetItem*> selected = CheckList->selectedItems();
    if (selected.isEmpty()) {
        MessageBox(m_form.Handle, "请选中一个按钮项", "Quillet", MB_ICONINFORMATION);
        return;
    }
    QListWidgetItem* item = selected.front();
    const int row = CheckList->row(item);
    const int target = row + step;
    if (target < 0 || target >= CheckList->count()) return;
    CheckList->takeItem(row);
    CheckList->insertItem(target, item);
    CheckList->setCurrentItem(item);
    item->setSelected(true);
}

void TFOptions::btnUpClick() {
    moveSelected(-1);
}

void TFOptions::btnDownClick() {
    moveSelected(+1);
}

std::vector<std::string> TFOptions::Labels() const {
    std::vector<std::string> labels;
    labels.reserve(size_t(CheckList->count()));
    for (int i = 0; i < CheckList->count(); ++i) labels.push_back(CheckList->item(i)->text().toStdString());
    return labels;
}

std::vector<bool> TFOptions::Checks() const {
    std::vector<bool> checks;
    checks.reserve(size_t(CheckList->count()));
    for (int i = 0; i < CheckList->count(); ++i)
        checks.push_back(CheckList->item(i)->checkState() == Qt::Checked);
    return checks;
}

void TFOptions::btnOkClick() {
    std::vector<std::string> names, flags;
    const std::vector<bool> checks = Checks();
    for (const std::string& label : Labels()) names.push_back(ButtonName(label));
    for (const bool checked : checks) flags.emplace_back(checked ? "y" : "n");
    const bool written =
        m_form.WriteSkinSettings({{"button_order", JoinSettingList(names)},
                                  {"button_check", JoinSettingList(flags)},
                                  {"progress_show", cbProgress->isChecked() ? "true" : "false"},
                                  {"volumn_show", cbVolumn->isChecked() ? "true" : "false"}});
    if (written) accept();
}
