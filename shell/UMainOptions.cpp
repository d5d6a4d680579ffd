// The mini window's button settings: the options dialog and the button menu.
#include <algorithm>

#include "platform/win/WinApi.h"
#include "shell/ButtonSettings.h"
#include "shell/QtOwned.h"
#include "shell/Settings.h"
#include "shell/UMain.h"
#include "shell/UOptions.h"

bool TFMain::WriteSkinSettings(const std::vector<std::pair<std::string, std::string>>& attributes) {
    if (!m_settings->writeSkin(CurrentSkinName, attributes)) {
        const std::string text = "设置无法保存到 " + m_settings->path() + "\r\n" + m_settings->error();
        MessageBox(Handle, text.c_str(), "Quillet", MB_ICONERROR);
        return false;
    }
    const std::string notice = m_settings->takeNotice();
    if (!notice.empty()) MessageBox(Handle, notice.c_str(), "Quillet", MB_ICONINFORMATION);
    return true;
}

void TFMain::Options1Click() {
    auto* dialog = QtOwned<TFOptions>(*this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (dialog->exec() == QDialog::Accepted) ApplyButtonSettings();
}

std::array<QAction*, 10> TFMain::ButtonItems() const {
    return {miPlay, miPre, miNext, miStop, miMute, miOpen, miList, miVisual, miProgress, miVol};
}

void TFMain::btnVisibleClick(QAction* item) {
    const std::array<QAction*, 10> items = ButtonItems();
    const auto at = std::find(items.begin(), items.end(), item);
    if (at == items.end()) return;
    const size_t tag = size_t(at - items.begin());
    const bool shown = item->isChecked();
    bool written = false;
    TButtonLists lists{ButtonOrder, ButtonCheck};
    if (tag < 8) {
        lists = ToggleButton(ButtonOrder, ButtonCheck, kButtonNames[tag], shown);
        written = WriteSkinSettings({{"button_order", lists.order}, {"button_check", lists.check}});
    } else {
        written = WriteSkinSettings({{tag == 8 ? "progress_show" : "volumn_show", shown ? "true" : "false"}});
    }
    if (!written) {
        // Nothing on screen that the next start would not show.
        const QSignalBlocker quiet(item);
        item->setChecked(!shown);
        return;
    }
    ButtonOrder = lists.order;
    ButtonCheck = lists.check;
    ApplyButtonSettings();
}
