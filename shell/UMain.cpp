#include "shell/UMain.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <charconv>
#include <filesystem>

#include "platform/win/WinApi.h"
#include "shell/QtOwned.h"
#include "shell/Settings.h"
#include "shell/USkin.h"

namespace {

// A left or top edge from skin numbers, kept within reach of any screen.
int clampCoord(std::int64_t v) {
    return int(std::clamp<std::int64_t>(v, -kMaxSkinExtent, kMaxSkinExtent));
}

bool isFalse(const std::optional<std::string>& value) {
    return value && *value == "false";
}

std::string upper(std::string s) {
    for (char& c : s) c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return s;
}

// A whole number, or TSkinError.
int integerAttribute(const std::string& text, const char* what) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) throw TSkinError(std::string(what) + ": not an integer");
    return value;
}

QAction* checkItem(QWidget* owner, const char* text) {
    auto* action = QtOwned<QAction>(QString::fromUtf8(text), owner);
    action->setCheckable(true);
    action->setChecked(true);
    return action;
}

}  // namespace

struct TFMain::TBar {
    TSkinPicture* bar;
    TSkinImage* thumb;
    TSkinPicture* fill;
    TRect rect;
    bool thumbPresent = false;
};

// --- the small controls ------------------------------------------------------

TSkinPicture::TSkinPicture(QWidget* parent) : QWidget(parent) {}

void TSkinPicture::PictureChanged() {
    resize(Picture.size());
    update();
}

void TSkinPicture::SetPictureWidth(int width) {
    width = ClampSkinSize(width);
    if (width == Picture.width()) return;
    QImage wider(width, Picture.height(), QImage::Format_RGB32);
    wider.fill(Qt::black);
    CopyImageRect(wider, QPoint(0, 0), Picture, Picture.rect());
    Picture = wider;
    PictureChanged();
}

void TSkinPicture::paintEvent(QPaintEvent*) {
    if (Picture.isNull()) return;
    QPainter(this).drawImage(0, 0, Picture);
}

void TSkinPicture::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp) OnMouseUp(event);
}

TSpectrumPanel::TSpectrumPanel(QWidget* parent) : QWidget(parent) {}

void TSpectrumPanel::Repaint() {
    m_frame = nullptr;
    repaint();
}

void TSpectrumPanel::ShowFrame(const QImage* frame) {
    m_frame = frame;
    update();
}

void TSpectrumPanel::paintEvent(QPaintEvent*) {
    if (m_frame && !m_frame->isNull()) QPainter(this).drawImage(0, 0, *m_frame);
}

void TSpectrumPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
}

void TSpectrumPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick();
}

// --- the form ------------------------------------------------------------------

TFMain::TFMain(const TUserFolders& folders, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_folders(folders) {
    setWindowRole(QStringLiteral("mini"));
    setWindowTitle(QStringLiteral("Quillet"));
    setMouseTracking(true);
    m_settings = std::make_unique<TSettingsFile>(m_folders.configRead.empty()
                                                     ? std::vector<std::string>{m_folders.configWrite}
                                                     : m_folders.configRead);
    auto button = [this] {
        auto* b = QtOwned<TSkinImage>(this);
        b->SetFrameCount(4);
        b->SetBackgroundSource(&m_background);
        return b;
    };
    btnPause = button();
    btnPlay = button();  // created after btnPause, so it stands in front
    btnPre = button();
    btnNext = button();
    btnStop = button();
    btnMute = button();
    btnOpen = button();
    btnList = button();
    imgProgress = QtOwned<TSkinPicture>(this);
    imgProgFill = QtOwned<TSkinPicture>(this);
    imgProgFill->hide();
    btnthumb = button();
    imgVol = QtOwned<TSkinPicture>(this);
    imgvolFill = QtOwned<TSkinPicture>(this);
    imgvolFill->hide();
    btnvthumb = button();
    pVis = QtOwned<TSpectrumPanel>(this);

    miPlay = checkItem(this, "显示播放按钮");
    miPre = checkItem(this, "显示上一首按钮");
    miNext = checkItem(this, "显示下一首按钮");
    miStop = checkItem(this, "显示停止按钮");
    miMute = checkItem(this, "显示静音按钮");
    miOpen = checkItem(this, "显示打开文件按钮");
    miList = checkItem(this, "显示打开列表按钮");
    miVisual = checkItem(this, "显示频谱图形");
    miProgress = checkItem(this, "显示播放进度控制");
    miVol = checkItem(this, "显示声音大小控制");
    miBtnvisible = QtOwned<QAction>(this);
    for (QAction* item : ButtonItems())
        connect(item, &QAction::triggered, this, [this, item] { btnVisibleClick(item); });

    m_progress = std::make_unique<TBar>(TBar{imgProgress, btnthumb, imgProgFill, {}});
    m_volume = std::make_unique<TBar>(TBar{imgVol, btnvthumb, imgvolFill, {}});
    SetVisMode(0);
}

TFMain::~TFMain() = default;

void TFMain::PrepareApplication() {
    // Qt's X11 platform takes the WM_CLASS instance from RESOURCE_NAME and
    // the class from the application name.
    if (qEnvironmentVariableIsEmpty("RESOURCE_NAME")) qputenv("RESOURCE_NAME", "quilletplay");
    QCoreApplication::setApplicationName(QStringLiteral("Quillet"));
    // Skin bitmaps are drawn 1:1; a high-density screen scales the window by
    // a whole number, never by a fraction that would blur them.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
}

std::string TFMain::SkinsWriteFolder() const {
    return m_folders.dataWrite + "/" + kSkinsFolderName;
}

std::vector<std::string> TFMain::SkinsReadFolders() const {
    std::vector<std::string> folders;
    for (const std::string& f : m_folders.dataRead) folders.push_back(f + "/" + kSkinsFolderName);
    if (folders.empty()) folders.push_back(SkinsWriteFolder());
    return folders;
}

std::string TFMain::SkinPath(const std::string& name) const {
    const std::string found = FindSkinFile(SkinsReadFolders(), name);
    return found.empty() ? SkinsWriteFolder() + "/" + name : found;
}

bool TFMain::LoadSkin(const std::string& requested) {
    std::string path = requested;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        const std::string text = path + " 不存在, 使用默认皮肤";
        MessageBox(Handle, text.c_str(), "Quillet", MB_ICONINFORMATION);
        ExtractDefaultSkin(SkinsWriteFolder());
        path = SkinPath(kDefaultSkinName);
        CurrentSkinName = kDefaultSkinName;
    }
    if (applyOpenedArchive(SkinZip.openFile(path), path)) return true;
    if (m_skinApplied) return false;
    // Nothing was ever applied: a blank, unreachable strip is worse than the
    // built-in look.
    const std::string failure = m_skinError;
    const QByteArray& builtin = BuiltinSkinArchive();
    CurrentSkinName = kDefaultSkinName;
    LoadSkinFromMemory(std::string_view(builtin.constData(), size_t(builtin.size())));
    m_skinError = failure;
    return false;
}

bool TFMain::LoadSkinFromMemory(std::string_view archive) {
    return applyOpenedArchive(SkinZip.openMemory(archive), "skin archive");
}

bool TFMain::applyOpenedArchive(bool opened, const std::string& source) {
    m_skinError.clear();
    try {
        if (!opened) throw TSkinError(source + ": " + SkinZip.error());
        applySkinArchive();
        return true;
    } catch (const TSkinError& e) {
        m_skinError = e.what();
        return false;
    }
}

void TFMain::applySkinArchive() {
    qxml::Document doc;
    ReadSkinXml(SkinZip, "skin.xml", TSkinText::Mini, doc);
    const pugi::xml_node mini = RequiredChild(doc.documentElement(), "mini_window");

    const auto style = qxml::attribute(mini, "style");
    FixedStyle = style && upper(*style) == "FIXED";
    miBtnvisible->setEnabled(!FixedStyle);
    if (const auto edge = qxml::attribute(mini, "edge"))
        EdgeMargin = std::clamp(integerAttribute(*edge, "edge"), 0, kMaxSkinExtent);
    else
        EdgeMargin = 2;
    m_background = ReadSkinBitmap(SkinZip, RequiredAttribute(mini, "image"));
    m_skinApplied = true;
    update();
    if (const auto order = qxml::attribute(mini, "button_order")) ButtonOrder = *order;
    if (const auto check = qxml::attribute(mini, "button_check")) ButtonCheck = *check;

    // The first layout: visible controls keep the distances of their x1
    // values; a hidden control's step is skipped.
    std::int64_t x = 0, previousX1 = 0, right = 0;
    const std::pair<const char*, TSkinImage*> controls[] = {
        {"pause", btnPause}, {"play", btnPlay}, {"prev", btnPre},  {"next", btnNext},
        {"stop", btnStop},   {"mute", btnMute}, {"open", btnOpen}, {"list", btnList}};
    for (const auto& [name, control] : controls) {
        const pugi::xml_node node = RequiredChild(mini, name);
        control->setVisible(!isFalse(qxml::attribute(node, "visible")));
        const QImage strip = ReadSkinBitmap(SkinZip, RequiredAttribute(node, "image"));
        const TRect rect = ParsePosition(RequiredAttribute(node, "position"));
        control->SetSkinRect(rect);
        if (!control->isHidden()) {
            x = clampCoord(x + (std::int64_t(rect.x1) - previousX1));
            control->move(int(x), clampCoord(rect.y1));
            right = x + SkinWidth(rect);
        }
        previousX1 = rect.x1;
        if (control == btnPause) x = rect.x1;
        control->SetStrip(strip);
    }
    btnPlay->raise();

    const pugi::xml_node visual = RequiredChild(mini, "visual");
    if (isFalse(qxml::attribute(visual, "visible"))) pVis->hide();
    const TRect panel = ParsePosition(RequiredAttribute(visual, "position"));
    pVis->resize(SkinWidth(panel), SkinHeight(panel));
    if (!pVis->isHidden()) {
        x = clampCoord(x + (std::int64_t(panel.x1) - previousX1));
        pVis->move(int(x), clampCoord(panel.y1));
        right = x + SkinWidth(panel);
    }
    SpectrumHeight = std::min(SkinHeight(panel), kMaxSkinBitmapSide);
    MiniWidth = ClampSkinSize(right);

    if (const auto digits = qxml::attribute(visual, "image")) {
        // Twelve cells: a bitmap narrower than that has no digits to show.
        QImage image = ReadSkinBitmap(SkinZip, *digits);
        if (image.width() >= 12) m_digits = std::move(image);
    }
    if (qxml::attribute(visual, "SpectrumTopColor")) {
        const QRgb top = RequiredColor(visual, "SpectrumTopColor");
        const QRgb mid = RequiredColor(visual, "SpectrumMidColor");
        const QRgb bottom = RequiredColor(visual, "SpectrumBtmColor");
        const QRgb peak = RequiredColor(visual, "SpectrumPeakColor");
        SpectrumTopColor = top;
        SpectrumMidColor = mid;
        SpectrumBtmColor = bottom;
        SpectrumPeakColor = peak;
    }

    readBar(RequiredChild(mini, "progress"), *m_progress);
    readBar(RequiredChild(mini, "volume"), *m_volume);
}

void TFMain::readBar(pugi::xml_node node, TBar& bar) {
    if (isFalse(qxml::attribute(node, "visible"))) bar.bar->hide();
    bar.rect = ParsePosition(RequiredAttribute(node, "position"));
    const QPoint at(clampCoord(bar.rect.x1), clampCoord(bar.rect.y1));
    bar.bar->move(at);
    const int width = ClampSkinSize(std::int64_t(MiniWidth) - bar.rect.x1 - EdgeMargin);
    // No picture is larger than the background: nothing shows beyond it.
    const int height = std::min(SkinHeight(bar.rect), m_background.height());

    const std::string barImage = RequiredAttribute(node, "bar_image");
    if (barImage.empty()) {
        bar.bar->Picture = QImage(std::min(width, m_background.width()), height, QImage::Format_RGB32);
        drawBarBackground(bar.bar);
    } else {
        bar.bar->Picture = ReadSkinBitmap(SkinZip, barImage);
    }
    bar.bar->PictureChanged();

    const std::string thumbImage = RequiredAttribute(node, "thumb_image");
    bar.thumbPresent = !thumbImage.empty();
    if (bar.thumbPresent) {
        bar.thumb->SetSkinRect(TRect{});
        bar.thumb->move(at);
        bar.thumb->SetStrip(ReadSkinBitmap(SkinZip, thumbImage));
    }
    bar.thumb->move(at);
    bar.thumb->setVisible(bar.thumbPresent && !bar.bar->isHidden());

    const std::string fillImage = RequiredAttribute(node, "fill_image");
    if (!fillImage.empty()) {
        bar.fill->Picture = ReadSkinBitmap(SkinZip, fillImage);
        bar.fill->PictureChanged();
    }
}

void TFMain::drawBarBackground(TSkinPicture* bar) {
    if (bar->Picture.isNull()) return;
    bar->Picture.fill(Qt::black);
    CopyImageRect(bar->Picture, QPoint(0, 0), m_background, QRect(bar->pos(), bar->Picture.size()));
}

TSkinImage* TFMain::buttonByName(const std::string& name) {
    if (name == "Play") return btnPause;
    if (name == "Prev") return btnPre;
    if (name == "Next") return btnNext;
    if (name == "Stop") return btnStop;
    if (name == "Mute") return btnMute;
    if (name == "Open") return btnOpen;
    if (name == "List") return btnList;
    return nullptr;
}

void TFMain::ApplyButtonSettings() {
    std::int64_t x = EdgeMargin;
    if (const auto settings = m_settings->readSkin(CurrentSkinName)) {
        if (settings->buttonOrder) ButtonOrder = *settings->buttonOrder;
        if (settings->buttonCheck) ButtonCheck = *settings->buttonCheck;
        ShowProgressBar(SettingShowsBar(settings->progressShow));
        ShowVolumeBar(SettingShowsBar(settings->volumnShow));
    }
    const std::vector<std::string> order = SplitSettingList(ButtonOrder);
    const std::vector<std::string> check = SplitSettingList(ButtonCheck);
    for (QWidget* w : std::initializer_list<QWidget*>{btnPlay, btnPause, btnPre, btnNext, btnOpen, btnMute,
                                                      btnList, btnStop, pVis})
        w->hide();
    const std::pair<const char*, QAction*> items[] = {{"Play", miPlay}, {"Prev", miPre},     {"Next", miNext},
                                                      {"Stop", miStop}, {"Mute", miMute},    {"Open", miOpen},
                                                      {"List", miList}, {"Visual", miVisual}};
    for (size_t i = 0; i < order.size(); ++i) {
        QWidget* control = order[i] == "Visual" ? static_cast<QWidget*>(pVis) : buttonByName(order[i]);
        if (!control) continue;  // not one of the eight names
        // A check list shorter than the order hides the controls it misses.
        const bool visible = i < check.size() && SettingShowsButton(check[i]);
        control->setVisible(visible);
        for (const auto& [name, item] : items)
            if (order[i] == name) item->setChecked(visible);
        if (visible) {
            control->move(int(x), control->y());
            x = clampCoord(x + control->width());
        }
    }
    btnPlay->setVisible(!btnPause->isHidden());
    btnPlay->move(btnPause->pos());
    for (TSkinImage* b : {btnPlay, btnPause, btnPre, btnNext, btnStop, btnMute, btnOpen, btnList})
        b->Redraw();

    MiniWidth = ClampSkinSize(x);
    resize(MiniWidth, height());

    const int progressWidth = MiniWidth - imgProgress->x() - EdgeMargin;
    if (progressWidth > 0) imgProgress->SetPictureWidth(std::min(progressWidth, m_background.width()));
    DrawProgress(m_position, m_length);
    if (std::int64_t(m_volume->rect.x1) + EdgeMargin < MiniWidth)
        imgVol->SetPictureWidth(std::min(MiniWidth - m_volume->rect.x1 - EdgeMargin, m_background.width()));
    DrawVolume(m_volumeLevel);
    if (OnMiniWidthChanged) OnMiniWidthChanged(MiniWidth);
}

void TFMain::ShowProgressBar(bool show) {
    imgProgress->setVisible(show);
    btnthumb->setVisible(show && m_progress->thumbPresent);
    miProgress->setChecked(show);
}

void TFMain::ShowVolumeBar(bool show) {
    imgVol->setVisible(show);
    btnvthumb->setVisible(show && m_volume->thumbPresent);
    miVol->setChecked(show);
}

void TFMain::DrawProgress(std::int64_t position, std::int64_t length) {
    m_position = position;
    m_length = length;
    drawBarBackground(imgProgress);
    const std::int64_t w = imgProgress->Picture.width();
    if (length != 0) {
        const int filled = int(std::clamp<std::int64_t>(w * position / length, 0, w));
        if (filled > 0 && !imgProgFill->Picture.isNull()) {
            QPainter painter(&imgProgress->Picture);
            painter.drawImage(QRect(0, 0, filled, imgProgress->Picture.height()), imgProgFill->Picture);
        }
        btnthumb->move(imgProgress->x() + filled - btnthumb->width() / 2, btnthumb->y());
        btnthumb->Redraw();
    }
    imgProgress->update();
}

void TFMain::DrawVolume(int volume) {
    m_volumeLevel = std::clamp(volume, 0, 255);
    drawBarBackground(imgVol);
    const int filled = m_volumeLevel * imgVol->Picture.width() / 255;
    if (filled > 0 && !imgvolFill->Picture.isNull()) {
        QPainter painter(&imgVol->Picture);
        painter.drawImage(QRect(0, 0, filled, imgVol->Picture.height()), imgvolFill->Picture);
    }
    imgVol->update();
}

void TFMain::ShapeWindow() {
    if (m_background.isNull()) {
        clearMask();
        return;
    }
    resize(m_background.size());
    // One pass over the decoded pixels, whatever the file's bit depth: the
    // magenta ones are left out of the window.
    const QImage mask = m_background.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskInColor);
    setMask(QBitmap::fromImage(mask));
}

void TFMain::paintEvent(QPaintEvent*) {
    if (!m_background.isNull()) QPainter(this).drawImage(0, 0, m_background);
}
