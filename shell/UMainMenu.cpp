#include "shell/UMainMenu.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "shell/QtOwned.h"
#include "shell/UMain.h"
#include "shell/UMainController.h"
#include "shell/USkin.h"
#include "shell/Ufuncs.h"

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// A file name as a menu caption: "&" would mark a mnemonic, "&&" shows it.
QString captionOf(const std::string& fileName) {
    return QString::fromStdString(fileName).replace('&', QStringLiteral("&&"));
}

}  // namespace

std::vector<TSkinFile> ListSkinFiles(const std::vector<std::string>& skinsFolders) {
    std::vector<TSkinFile> files;
    for (const std::string& folder : skinsFolders) {
        std::vector<std::string> names;
        ListFiles(folder + "/*.skn", names);
        for (const std::string& name : names) {
            const bool listed =
                std::any_of(files.begin(), files.end(), [&](const TSkinFile& f) { return f.name == name; });
            if (listed) continue;
            std::string path = folder;
            path += '/';
            path += name;
            files.push_back({name, std::move(path)});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const TSkinFile& a, const TSkinFile& b) { return a.name < b.name; });
    return files;
}

TMainMenu::TMainMenu(TFMain& form, TMainController& controller, IMiniPlaylist& playlist)
    : m_form(form), m_controller(controller), m_playlist(playlist) {
    PopupMenu1.setStyle(&m_style);
    miBtnvisibleMenu.setStyle(&m_style);
    mnSkins.setStyle(&m_style);

    miAbout = PopupMenu1.addAction(u8("关于Quillet..."), this, [this] { miAboutClick(); });
    N1 = PopupMenu1.addSeparator();
    PlayPause1 = command("播放", miiPlay, [this] { m_controller.btnPlayClick(); });
    Pause1 = command("暂停", miiPause, [this] { m_controller.btnPauseClick(); });
    Stop2 = command("停止", miiStop, [this] { m_controller.btnStopClick(); });
    PreviousTrack1 = command("前一首", -1, [this] { m_controller.btnPrevClick(); });
    NextTrack1 = command("后一首", -1, [this] { m_controller.btnNextClick(); });
    PopupMenu1.addAction(&m_controller.mnMute);
    open1 = command("打开音乐文件...", miiOpen, [this] { m_controller.btnOpenClick(); });
    N2 = PopupMenu1.addSeparator();

    miBtnvisibleMenu.setTitle(u8("按钮设置"));
    const std::array<QAction*, 10> items = m_form.ButtonItems();
    for (size_t tag = 0; tag < items.size(); ++tag) {
        if (tag == 8) miBtnvisibleMenu.addSeparator();
        QAction* item = items[tag];
        item->setData(int(tag));
        miBtnvisibleMenu.addAction(item);
    }
    m_form.miBtnvisible->setText(miBtnvisibleMenu.title());
    m_form.miBtnvisible->setMenu(&miBtnvisibleMenu);
    PopupMenu1.addAction(m_form.miBtnvisible);

    OpenPlayList1 = command("编辑播放列表...", miiPlaylist, [this] { m_controller.OpenPlayList1Click(); });
    mnSkins.setTitle(u8("选择皮肤"));
    PopupMenu1.addMenu(&mnSkins);
    Options1 =
        PopupMenu1.addAction(MenuImage(miiSettings), u8("设置..."), this, [this] { m_form.Options1Click(); });
    N5 = PopupMenu1.addSeparator();
    Properties1 = command("当前歌曲属性...", miiProperties, [this] { m_controller.Properties1Click(); });
    N3 = PopupMenu1.addSeparator();
    Close1 = PopupMenu1.addAction(u8("退出"), this, [this] {
        if (OnClose) OnClose();
    });
    vis1 = command("vis", -1, [this] { m_controller.vis1Click(); });
    vis1->setVisible(false);

    connect(&PopupMenu1, &QMenu::aboutToShow, this, [this] { m_controller.PopupMenu1Popup(); });
    m_form.installEventFilter(this);
    BuildSkinMenu();
}

TMainMenu::~TMainMenu() {
    m_form.removeEventFilter(this);
    // The form's actions outlive the menu: they forget it.
    m_form.miBtnvisible->setMenu(static_cast<QMenu*>(nullptr));
    if (m_about) delete m_about.data();
}

QAction* TMainMenu::command(const char* caption, int image, const std::function<void()>& run) {
    QAction* action = PopupMenu1.addAction(u8(caption), this, run);
    if (image >= 0) action->setIcon(MenuImage(image));
    return action;
}

bool TMainMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_form && event->type() == QEvent::ContextMenu) {
        FormContextPopup();
        return true;  // handled: no default placement
    }
    return false;
}

TPoint TMainMenu::StripMenuPosition() const {
    const QPoint topLeft = m_form.mapToGlobal(QPoint(0, 0));
    const QScreen* screen = m_form.screen() ? m_form.screen() : QGuiApplication::primaryScreen();
    return ContextMenuPosition(
        TRect{topLeft.x(), topLeft.y(), topLeft.x() + m_form.width(), topLeft.y() + m_form.height()},
        screen ? screen->geometry().height() : 0, TRect{});
}

void TMainMenu::FormContextPopup() {
    const TPoint at = MenuPosition ? MenuPosition() : StripMenuPosition();
    PopupMenu1.popup(QPoint(at.x, at.y));
}

void TMainMenu::BuildSkinMenu() {
    mnSkins.clear();
    m_skinGroup = std::make_unique<QActionGroup>(nullptr);
    m_skinGroup->setExclusive(true);
    const std::vector<TSkinFile> files = ListSkinFiles(m_form.SkinsReadFolders());
    if (files.size() > 1) {
        for (const TSkinFile& file : files) {
            QAction* item = mnSkins.addAction(captionOf(file.name));
            item->setCheckable(true);
            item->setActionGroup(m_skinGroup.get());
            // The file is the item's data: the caption is only what is shown.
            item->setData(QStringList{QString::fromStdString(file.name), QString::fromStdString(file.path)});
            connect(item, &QAction::triggered, this, [this, item] { SkinMenuClick(item); });
        }
    }
    checkCurrentSkin();
    mnSkins.menuAction()->setVisible(!mnSkins.actions().isEmpty());
}

void TMainMenu::checkCurrentSkin() {
    const QString current = QString::fromStdString(m_form.CurrentSkinName);
    for (QAction* item : mnSkins.actions())
        if (item->data().toStringList().value(0).compare(current, Qt::CaseInsensitive) == 0)
            item->setChecked(true);
}

void TMainMenu::SkinMenuClick(QAction* item) {
    const QStringList file = item->data().toStringList();
    if (file.size() != 2) return;
    item->setChecked(true);
    m_form.CurrentSkinName = file[0].toStdString();
    m_form.LoadSkin(file[1].toStdString());
    m_form.ShapeWindow();
    m_form.PrepareSpectrum();
    m_form.ApplyButtonSettings();
    m_playlist.ApplyPlaylistSkin();
    // A missing file fell back to the built-in skin: its item is the one in force.
    checkCurrentSkin();
}

void TMainMenu::miAboutClick() {
    if (m_about) {
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    m_about = QtOwned<TFAbout>();
    m_about->setAttribute(Qt::WA_DeleteOnClose);
    m_about->exec();
}
