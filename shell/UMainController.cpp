#include "shell/UMainController.h"

#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/WinApi.h"
#include "shell/UMain.h"
#include "shell/Ufuncs.h"

namespace {
constexpr int kBalloonCloseMs = 6000;
constexpr int kHintPauseMs = 500;  // how long the mouse rests before the balloon
constexpr std::uint32_t kMuteFadeMs = 500;
// The visualisation plug-in started from the spectrum panel, in the program folder.
constexpr const char* kVisPluginFile = "Plugin/vis_milk105beta6.1.dll";
}  // namespace

std::int64_t SeekPositionAt(int x, int barWidth, std::int64_t length) {
    if (barWidth <= 0 || length <= 0) return -1;
    const int clamped = std::clamp(x, 0, barWidth);
    return std::llround(double(length) * (double(clamped) / double(barWidth)));
}

int VolumeAt(int x, int barWidth) {
    if (barWidth <= 0) return -1;
    return std::clamp(x, 0, barWidth) * 255 / barWidth;
}

int DragThumbLeft(int thumbLeft, int mouseX, int grabOffset, int barLeft, int barWidth) {
    return std::clamp(thumbLeft + mouseX - grabOffset, barLeft, barLeft + std::max(barWidth, 0));
}

int VisModeAfterClick(int mode) {
    return mode >= 3 ? 0 : std::max(mode, -1) + 1;
}

int VisModeAfterDblClick(int mode) {
    return std::clamp(mode - 1, 0, 3);
}

// --- balloon -------------------------------------------------------------------

QPoint BalloonPlace(QPoint point, QSize size) {
    const QScreen* screen = QGuiApplication::screenAt(point);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return point;
    const QRect area = screen->geometry();
    const int x = std::clamp(point.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    // Too low to hang below the point: it stands on it, clear of the strip
    // under it (a balloon over the strip would take the mouse off the strip).
    const int y = point.y() + size.height() <= area.bottom() + 1 ? point.y() : point.y() - size.height();
    return QPoint(x, std::max(y, area.top()));
}

TBalloon::TBalloon() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowRole("balloon");
    m_close.setSingleShot(true);
    m_close.setInterval(kBalloonCloseMs);
    connect(&m_close, &QTimer::timeout, this, &QWidget::hide);
}

void TBalloon::ShowAt(QPoint screenPos, const QString& title, const QStringList& lines) {
    m_title = title;
    m_text = lines.join('\n');
    const QFontMetrics fm(font());
    QFont bold = font();
    bold.setBold(true);
    const QRect textBox = fm.boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::AlignTop, m_text);
    const int w = std::max(textBox.width(), QFontMetrics(bold).horizontalAdvance(m_title)) + 16;
    const int h = textBox.height() + QFontMetrics(bold).height() + 16;
    resize(w, h);
    move(BalloonPlace(screenPos, QSize(w, h)));
    show();
    update();
    m_close.start();
}

void TBalloon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().toolTipBase());
    painter.setPen(palette().toolTipText().color());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    const int titleHeight = QFontMetrics(bold).height();
    painter.drawText(QRect(8, 6, width() - 16, titleHeight), Qt::AlignLeft, m_title);
    painter.setFont(font());
    painter.drawText(QRect(8, 8 + titleHeight, width() - 16, height() - titleHeight - 8), Qt::AlignLeft,
                     m_text);
}

// --- controller ------------------------------------------------------------------

TMainController::TMainController(TFMain& form, TVAVIVerovu& player, IMiniPlaylist& playlist)
    : m_form(form), m_player(player), m_playlist(playlist), m_balloon(std::make_unique<TBalloon>()) {
    Timer1.setInterval(100);
    Timer_step.setInterval(1000);
    mnMute.setText(QString::fromUtf8("静音"));
    mnMute.setCheckable(true);
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(&Timer_step, &QTimer::timeout, this, [this] { Timer_stepTimer(); });
    connect(&mnMute, &QAction::triggered, this, [this] { btnMuteClick(); });
    m_lastMove.start();
}

TMainController::~TMainController() {
    m_form.removeEventFilter(this);
    m_player.OnPlayEnd = nullptr;
    m_player.OnModeChange = nullptr;
    m_player.OnVisWindowShow = nullptr;
    m_player.OnNewFFTData = nullptr;
}

void TMainController::Attach() {
    m_form.btnPlay->OnClick = [this] { btnPlayClick(); };
    m_form.btnPause->OnClick = [this] { btnPauseClick(); };
    m_form.btnStop->OnClick = [this] { btnStopClick(); };
    m_form.btnNext->OnClick = [this] { btnNextClick(); };
    m_form.btnPre->OnClick = [this] { btnPrevClick(); };
    m_form.btnOpen->OnClick = [this] { btnOpenClick(); };
    m_form.btnMute->OnClick = [this] { btnMuteClick(); };
    m_form.btnList->OnClick = [this] { btnListClick(); };
    m_form.imgProgress->OnMouseUp = [this](QMouseEvent* e) {
        imgProgressMouseUp(e->button(), e->position().x());
    };
    m_form.btnthumb->OnMouseDown = [this](QMouseEvent* e) {
        btnStepMouseDown(e->button(), e->position().x());
    };
    m_form.btnthumb->OnMouseMove = [this](QMouseEvent* e) { btnStepMouseMove(e->position().x()); };
    m_form.btnthumb->OnMouseUp = [this](QMouseEvent*) { btnStepMouseUp(); };
    m_form.imgVol->OnMouseUp = [this](QMouseEvent* e) { imgVolMouseUp(e->button(), e->position().x()); };
    m_form.pVis->OnClick = [this] { pVisClick(); };
    m_form.pVis->OnDblClick = [this] { pVisDblClick(); };
    m_form.OnGetPosition = [this] { return m_player.Position(); };
    m_form.installEventFilter(this);

    m_player.OnNewFFTData = [this](TVAVIVerovu*, const TBandOut& bands) { m_form.DrawSpectrum(bands); };
    m_player.OnPlayEnd = [this](TVAVIVerovu*) { PlaybackEnded(); };
    m_player.OnModeChange = [this](TVAVIVerovu*, TPlayerMode, TPlayerMode mode) { PlayerModeChanged(mode); };
    m_player.OnVisWindowShow = [this](TVAVIVerovu*, const TVisPluginInfo& info) { VisWindowShown(info); };
    setPauseInFront(m_player.Mode() == plmPlaying);
}

bool TMainController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_form && event->type() == QEvent::Enter) MouseEntered();
    return false;
}

void TMainController::setPauseInFront(bool pause) {
    // The two share one slot (the layout shows or hides both): the one
    // raised is the one seen.
    m_pauseInFront = pause;
    (pause ? m_form.btnPause : m_form.btnPlay)->raise();
}

void TMainController::updateTotalTime() {
    m_form.TotalTimeText = FormatDuration(m_player.PlayLength());
}

bool TMainController::OpenAndPlay(const std::string& name) {
    if (!m_player.Open(name)) return false;
    m_player.Play();
    return true;
}

void TMainController::btnPlayClick() {
    if (!m_player.BASSReady()) return;
    if (m_player.Mode() == plmPaused) {
        m_player.Pause(false);
        setPauseInFront(true);
        return;
    }
    if (!m_playlist.Visible()) {
        btnListClick();
        return;
    }
    if (m_playlist.HasSelection()) m_playlist.MakeDisplayedListPlaying();
    const std::string name = m_playlist.NextTrack();
    if (!name.empty() && OpenAndPlay(name)) {
        setPauseInFront(true);
        updateTotalTime();
    }
}

void TMainController::btnPauseClick() {
    setPauseInFront(false);
    m_player.Pause(true);
    m_form.pVis->Repaint();
}

void TMainController::btnStopClick() {
    m_player.Stop();
    m_form.pVis->Repaint();
    m_player.SetPosition(0);
    Timer_stepTimer();
}

void TMainController::btnNextClick() {
    const std::string name = m_playlist.NextTrack();
    if (!name.empty() && OpenAndPlay(name)) updateTotalTime();
}

void TMainController::btnPrevClick() {
    const std::string name = m_playlist.PrevTrack();
    if (!name.empty() && OpenAndPlay(name)) updateTotalTime();
}

void TMainController::btnOpenClick() {
    m_playlist.SelectTemporaryList();
    const std::vector<std::size_t> added = m_playlist.AddFilesToList();
    // The list may have been re-sorted: play the first file the user chose,
    // wherever it now stands, and only when it went to the playing list.
    if (added.empty() || !m_playlist.DisplayedIsPlaying()) return;
    m_player.Close();
    if (OpenAndPlay(m_playlist.PlayingFileName(added.front()))) updateTotalTime();
}

void TMainController::btnMuteClick() {
    m_player.SetMuted(!m_player.Muted(), kMuteFadeMs);
    // The player ignores a request while its previous fade runs: show what it
    // reports, not what was asked.
    showMuted();
}

void TMainController::showMuted() {
    m_form.btnMute->SetPressed(m_player.Muted());
    mnMute.setChecked(m_player.Muted());
}

void TMainController::btnListClick() {
    if (BalloonShown) {
        BalloonShown = false;
        Timer1.stop();
        closeBalloon();
    }
    if (m_playlist.Visible() && m_playlist.CoveredByOtherWindow())
        m_playlist.BringToFront();
    else
        m_playlist.ToggleWindow();
}

void TMainController::OpenPlayList1Click() {
    m_playlist.ShowWindow();
}

void TMainController::Properties1Click() {
    if (m_player.StreamName().empty())
        MessageBox(m_form.Handle, "当前播放文件未指定", "Quillet", MB_ICONINFORMATION);
}

void TMainController::PlaybackEnded() {
    m_form.btnthumb->move(m_form.imgProgress->x() - m_form.btnthumb->width() / 2, m_form.btnthumb->y());
    m_form.btnthumb->Redraw();
    m_form.pVis->Repaint();
    const std::string name = m_playlist.NextTrack();
    if (!name.empty() && OpenAndPlay(name)) updateTotalTime();
}

void TMainController::PlayerModeChanged(TPlayerMode mode) {
    setPauseInFront(mode == plmPlaying);
    showMuted();  // a click during a pause's or stop's fade was not heeded
    if (mode == plmPlaying)
        Timer_step.start();
    else
        Timer_step.stop();
    m_form.imgProgress->setCursor(mode == plmStopped ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void TMainController::VisWindowShown(const TVisPluginInfo& info) {
    if (info.VisWindow == nullptr) {
        // The plug-in ended (or did not start): its window is gone, and the next
        // plug-in's window is a new one, not a second.
        m_visWindow = nullptr;
        return;
    }
    if (m_visWindow == nullptr) {
        m_visWindow = info.VisWindow;
    } else if (info.VisWindow != m_visWindow) {
        // A second visualisation window: the plug-in host keeps one.
        m_player.QuitVisPlugin();
        m_visWindow = nullptr;
    }
}

void TMainController::Timer_stepTimer() {
    if (m_dragging) return;
    m_form.DrawProgress(m_player.Position(), m_player.PlayLength());
}

void TMainController::imgProgressMouseUp(Qt::MouseButton button, int x) {
    if (button != Qt::LeftButton || !m_player.CanSeek()) return;
    const std::int64_t length = m_player.PlayLength();
    const int width = m_form.imgProgress->width();
    const std::int64_t target = SeekPositionAt(x, width, length);
    if (target < 0) return;
    m_form.DrawProgress(target, length);
    const int centre = std::clamp(x, 0, width);
    m_form.btnthumb->move(m_form.imgProgress->x() + centre - m_form.btnthumb->width() / 2,
                          m_form.btnthumb->y());
    m_form.btnthumb->Redraw();
    Timer_step.stop();
    m_player.SetPosition(std::uint32_t(std::min<std::int64_t>(target, UINT32_MAX)));
    Timer_step.start();
}

void TMainController::btnStepMouseDown(Qt::MouseButton button, int x) {
    if (button != Qt::LeftButton) return;
    m_dragging = true;
    m_grabOffset = x;
}

void TMainController::btnStepMouseMove(int x) {
    if (!m_dragging) return;
    auto* thumb = m_form.btnthumb;
    thumb->move(
        DragThumbLeft(thumb->x(), x, m_grabOffset, m_form.imgProgress->x(), m_form.imgProgress->width()),
        thumb->y());
    thumb->Redraw();
}

void TMainController::btnStepMouseUp() {
    if (!m_dragging) return;
    m_dragging = false;
    const auto* thumb = m_form.btnthumb;
    imgProgressMouseUp(Qt::LeftButton, thumb->x() + thumb->width() / 2 - m_form.imgProgress->x());
}

void TMainController::imgVolMouseUp(Qt::MouseButton button, int x) {
    if (button != Qt::LeftButton) return;
    const int volume = VolumeAt(x, m_form.imgVol->width());
    if (volume < 0) return;
    m_player.SetVolume(std::uint32_t(volume));
    m_form.DrawVolume(int(m_player.Volume()));
}

void TMainController::pVisClick() {
    m_form.SetVisMode(VisModeAfterClick(m_form.VisMode));
}

void TMainController::pVisDblClick() {
    m_form.SetVisMode(VisModeAfterDblClick(m_form.VisMode));
    vis1Click();
}

void TMainController::vis1Click() {
    if (m_player.Mode() != plmPlaying) return;
    const std::string plugin = ExecutableFolder() + kVisPluginFile;
    if (access(plugin.c_str(), F_OK) == 0) m_player.RunVisPlugin(plugin, 0);
}

void TMainController::PopupMenu1Popup() {
    closeBalloon();
    BalloonShown = true;
}

void TMainController::MouseEntered() {
    Timer1.start();
}

void TMainController::Timer1Timer() {
    const QPoint cursor = QCursor::pos();
    const QWidget* under = QApplication::widgetAt(cursor);
    if (under == nullptr || under->window() != &m_form) {
        Timer1.stop();
        BalloonShown = false;
        closeBalloon();
        return;
    }
    if (cursor.x() != m_lastCursor.x() && cursor.y() != m_lastCursor.y()) m_lastMove.restart();
    m_lastCursor = cursor;
    const TPlayerMode mode = m_player.Mode();
    if (m_lastMove.elapsed() > kHintPauseMs && !BalloonShown && (mode == plmPlaying || mode == plmPaused)) {
        showBalloon();
        BalloonShown = true;
    }
}

void TMainController::showBalloon() {
    const TStreamInfo& info = m_player.StreamInfo();
    const auto u = [](const std::string& s) { return QString::fromStdString(s); };
    const QStringList lines{
        QString::fromUtf8("当前播放"),
        QString::fromUtf8("标题    ：") + u(info.Title),
        QString::fromUtf8("文件路径：") + u(info.FileName),
        QString::fromUtf8("专辑    ：") + u(info.Album),
        QString::fromUtf8("艺术家  ：") + u(info.Artist),
        QString::fromUtf8("备注    ：") + u(info.Comment),
    };
    const QPoint miniTopLeft = m_form.mapToGlobal(QPoint(0, 0));
    const QScreen* screen = m_form.screen() ? m_form.screen() : QGuiApplication::primaryScreen();
    const int screenHeight = screen ? screen->geometry().height() : 0;
    m_balloon->ShowAt(QPoint(miniTopLeft.x(), screenHeight - m_form.height()), "Quillet", lines);
}

void TMainController::closeBalloon() {
    m_balloon->hide();
}
