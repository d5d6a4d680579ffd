#include "shell/UPlayListWindow.h"

#include "platform/win/WinApi.h"
#include "shell/UMain.h"
#include "shell/USkin.h"

namespace {

QRect toQRect(const TRect& r) {
    return QRect(r.x1, r.y1, r.width(), r.height());
}

}  // namespace

TPlWindowSkin ToWindowSkin(const TPlaylistSkin& skin) {
    TPlWindowSkin out;
    out.stage = TPlWindowSkin::TStage(skin.stage);
    out.position = toQRect(skin.position);
    out.stretch = toQRect(skin.resizeRect);
    out.background = skin.background;
    out.closePosition = toQRect(skin.closePosition);
    out.closeImage = skin.closeImage;
    out.closeAlign = skin.closeAlign;
    out.toolbarPosition = toQRect(skin.toolbarPosition);
    out.toolbarAlign = skin.toolbarAlign;
    out.toolbarImage = skin.toolbarImage;
    out.toolbarHotImage = skin.toolbarHotImage;
    out.scrollButtons = skin.scrollButtons;
    out.scrollThumb = skin.scrollThumb;
    out.scrollBar = skin.scrollBar;
    out.listArea = toQRect(skin.listPosition);
    out.listColor = skin.listColor;
    return out;
}

TPlColors ToWindowColors(const TPlaylistColors& colors) {
    return TPlColors{colors.text, colors.hilight, colors.bkgnd, colors.bkgnd2, colors.selected};
}

TWindowPlaylist::TWindowPlaylist(TPlayListModel& model, TFMain& form, std::function<QRect()> miniRect,
                                 TAddProgress* progress)
    : m_model(model), m_form(form), m_progress(progress), m_window(std::make_unique<TFPlayList>(model)) {
    m_window->MiniRect = std::move(miniRect);
    if (m_progress)
        m_window->OnDropFiles = [this](const std::vector<std::string>& paths) { AddDropped(paths); };
    ApplyPlaylistSkin();
    m_placed = false;  // the strip finds its place after start-up
}

TWindowPlaylist::~TWindowPlaylist() = default;

std::vector<std::size_t> TWindowPlaylist::AddFilesToList() {
    return m_model.AddFilesToList();
}

void TWindowPlaylist::AddDropped(const std::vector<std::string>& paths) {
    if (!m_progress) return;
    AddNames(ExpandDropped(paths, m_progress->NativeFileExts()));
}

void TWindowPlaylist::AddNames(const std::vector<std::string>& names) {
    if (names.empty()) return;
    if (m_progress) m_progress->Expect(names.size());
    if (!m_model.AddNamesToList(names).empty()) m_model.SetModified();
    if (m_progress) m_progress->End();
}

void TWindowPlaylist::ShowWindow() {
    // At start-up the strip finds its place only after the window was
    // skinned: the first showing places the window above it.
    if (!m_placed && m_window->MiniRect)
        m_window->move(plw::PlaceAbove(m_window->MiniRect(), m_window->size()));
    m_placed = true;
    m_window->show();
    m_window->raise();
}

void TWindowPlaylist::ToggleWindow() {
    if (m_window->isVisible())
        m_window->hide();
    else
        ShowWindow();
}

void TWindowPlaylist::BringToFront() {
    m_window->raise();
    m_window->activateWindow();
}

void TWindowPlaylist::ApplyPlaylistSkin() {
    const std::string archive = m_form.SkinZip.path();
    TPlaylistSkin skin;
    std::string error;
    const bool read = ReadPlaylistSkin(m_form.SkinZip, skin, &error);
    TPlaylistColors colors;
    bool colorsRead = false;
    if (read) {
        colorsRead = ReadPlaylistColors(m_form.SkinZip, colors, &error);
    }
    const TPlColors windowColors = ToWindowColors(colors);
    m_window->ApplyPlaylistSkin(ToWindowSkin(skin), colorsRead ? &windowColors : nullptr);
    if (!read) {
        MessageBox(nullptr, ("文件不存在或者格式不正确!\r" + archive).c_str(), "Quillet", MB_ICONERROR);
    } else if (!colorsRead) {
        MessageBox(nullptr, ("文件不存在或者不正确的格式!\r" + archive).c_str(), "Quillet", MB_ICONERROR);
    }
    m_placed = read && m_window->MiniRect;
}
