#include "shell/UMainApp.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/WinApi.h"
#include "platform/win/qt/QtFormWindow.h"
#include "shell/TaskbarDock.h"
#include "shell/UPlayListWindow.h"

namespace {

constexpr const char* kCaption = "Quillet";
TMainApp* g_app = nullptr;  // the one application the mini window's handle belongs to

LRESULT miniProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER && g_app != nullptr) {
        g_app->setPlayerpos();
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

TMainApp::TMainApp(TOptions options) : m_options(std::move(options)) {
    m_form = std::make_unique<TFMain>(m_options.folders);
    m_form->installEventFilter(this);
    g_app = this;
}

TMainApp::~TMainApp() {
    FormClose();
    m_form->removeEventFilter(this);
    if (g_app == this) g_app = nullptr;
}

bool TMainApp::eventFilter(QObject* watched, QEvent* event) {
    // Closing the main form ends the program, whatever other windows stay.
    if (watched == m_form.get() && event->type() == QEvent::Close) {
        FormClose();
        QCoreApplication::quit();
    }
    return false;
}

bool TMainApp::FormCreate() {
    TFMain& form = *m_form;
    // Shuffle play and random sorting draw from the process's generator.
    std::srand(unsigned(std::time(nullptr)));
    form.Handle = quillet::win::registerFormWindow(&form, "TFMain", miniProc);
    form.LoadSkin(form.SkinPath(form.CurrentSkinName));
    form.PrepareSpectrum();
    m_player = std::make_unique<TVAVIVerovu>(form.Handle, m_options.device);
    if (m_player->BASSReady() && Bass.BASS_SetConfig) Bass.BASS_SetConfig(BASS_CONFIG_BUFFER, 3000);
    if (m_options.hookChangeSize) form.OnMiniWidthChanged = m_options.hookChangeSize;
    if (!form.FixedStyle) form.ApplyButtonSettings();
    form.DrawVolume(int(m_player->Volume()));

    // The playlist: the model over the playlist file, shown by its window.
    m_engineSeam = std::make_unique<TPlayListEngine>(*m_player);
    // Files are read between events; a damaged playlist file is reported
    // once the mini window is on screen.
    m_progress = std::make_unique<TAddProgress>(*m_engineSeam, m_dialogs);
    m_progress->HoldMessages();
    m_model = std::make_unique<TPlayListModel>(m_options.folders.dataWrite + "/playlist.xml", *m_progress,
                                               *m_progress);
    m_model->SeedRandom(uint32_t(std::time(nullptr)));
    m_model->LoadPlaylists();
    auto playlist = std::make_unique<TWindowPlaylist>(
        *m_model, form,
        [this] {
            if (m_dock) {
                const TRect r = m_dock->miniOnScreen();
                return QRect(r.x1, r.y1, r.width(), r.height());
            }
            return m_form->frameGeometry();
        },
        m_progress.get());
    playlist->CdTracks = [this] { return CdTrackNames(); };
    m_playlist = std::move(playlist);
    m_controller = std::make_unique<TMainController>(form, *m_player, *m_playlist);
    // The menu works without the audio library too: it is the way to exit.
    m_menu = std::make_unique<TMainMenu>(form, *m_controller, *m_playlist);
    m_menu->OnClose = [this] { Close1Click(); };
    m_menu->MenuPosition = [this] {
        return m_dock ? m_dock->contextMenuPosition() : m_menu->StripMenuPosition();
    };

    if (m_player->BASSDLLVer().empty()) {
        MessageBox(form.Handle, "BASS.DLL is not loaded.", kCaption, MB_OK);
        return false;
    }
    if (!m_player->WMAReady()) MessageBox(form.Handle, "BASSWMA.DLL is not loaded.", kCaption, MB_OK);
    if (!m_player->CDReady()) MessageBox(form.Handle, "BASSCD.DLL is not loaded.", kCaption, MB_OK);
    if (!m_player->MIDIReady()) MessageBox(form.Handle, "BASSMIDI.DLL is not loaded.", kCaption, MB_OK);
    m_controller->Attach();
    form.PeakLevels.fill(0);

    // Out of the task list; docked when the hook says where, floating until then.
    m_dock = std::make_unique<TTaskbarDock>(m_options.desktop, &form, m_playlist->Window());
    if (m_options.hookStart) {
        m_options.hookStart(form.Handle, 1, form.MiniWidth, 32);
        m_hooked = true;
    }
    const QString font = QString::fromStdString(m_options.exeFolder) + "04B_21.TTF";
    if (QFileInfo::exists(font)) m_fontId = QFontDatabase::addApplicationFont(font);
    form.ShapeWindow();
    return true;
}

std::vector<std::string> TMainApp::CdTrackNames() const {
    // A disc's tracks count from 1; a failed length is a data track, a
    // missing one or no disc.
    constexpr DWORD kNoTrack = DWORD(-1);
    std::vector<std::string> names;
    if (!m_player || !m_player->CDReady() || !BassCD.BASS_CD_GetTrackLength) return names;
    const std::vector<std::string>& drives = m_player->CDDrives();
    for (std::size_t drive = 0; drive < drives.size(); ++drive) {
        if (drives[drive].empty()) continue;
        for (DWORD track = 0; track < 99; ++track) {
            if (BassCD.BASS_CD_GetTrackLength(DWORD(drive), track) == kNoTrack) continue;
            char name[16];
            std::snprintf(name, sizeof name, "%c:/Track%02u.cda", drives[drive][0], unsigned(track + 1));
            names.emplace_back(name);
        }
    }
    return names;
}

void TMainApp::FormShow() {
    m_form->resize(m_form->MiniWidth > 0 ? m_form->MiniWidth : m_form->width(), m_form->height());
    m_form->show();
    // Until a taskbar is found the strip floats at the work area's corner.
    if (m_dock && !m_dock->docked()) m_dock->setPlayerpos();
    if (m_progress) m_progress->ReleaseMessages();
}

void TMainApp::setPlayerpos() {
    if (m_dock && !m_closed) m_dock->setPlayerpos();
}

void TMainApp::Close1Click() {
    if (QWidget* list = m_playlist ? m_playlist->Window() : nullptr) {
        for (int alpha = 250; alpha >= 150; alpha -= 10) {
            list->setWindowOpacity(alpha / 255.0);
            m_fadeSteps.push_back(alpha);
            QThread::msleep(10);
        }
        list->close();
    }
    m_form->close();
}

void TMainApp::FormClose() {
    if (m_closed) return;
    m_closed = true;
    if (m_hooked && m_options.hookEnd) m_options.hookEnd();
    m_hooked = false;
    if (OnShutdownStep) OnShutdownStep("HookEnd");
    m_menu.reset();
    m_controller.reset();
    if (m_playlist) m_playlist->Save();
    m_playlist.reset();
    m_model.reset();
    m_progress.reset();
    m_engineSeam.reset();
    m_player.reset();
    if (OnShutdownStep) OnShutdownStep("player");
    m_dock.reset();
    if (m_fontId >= 0) QFontDatabase::removeApplicationFont(m_fontId);
    m_fontId = -1;
}
