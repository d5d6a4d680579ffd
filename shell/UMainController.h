// The mini window's behaviour: the transport commands of its buttons, the
// progress and volume bars, the player's events, the information balloon and
// the spectrum-panel clicks. Qt; user-interface thread only.
//
// The controller reaches the playlist through IMiniPlaylist, so the playlist
// window can serve it once it exists; until then TModelPlaylist serves it over
// the playlist model alone.
#pragma once

#include <QAction>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/VAVIVerovu.h"
#include "playlist/PlayListModel.h"

class TFMain;

// What the mini window needs of the playlist.
class IMiniPlaylist {
  public:
    virtual ~IMiniPlaylist() = default;
    // The entry to play after (before) the current one of the playing list;
    // it becomes the current one. Empty when there is nothing to play.
    virtual std::string NextTrack() = 0;
    virtual std::string PrevTrack() = 0;
    virtual bool Visible() const = 0;
    virtual bool HasSelection() const = 0;
    virtual void MakeDisplayedListPlaying() = 0;
    virtual void SelectTemporaryList() = 0;
    // Asks for files and adds them to the displayed list; the rows they have
    // there afterwards, in the order chosen.
    virtual std::vector<std::size_t> AddFilesToList() = 0;
    // True when the displayed list is the playing one.
    virtual bool DisplayedIsPlaying() const = 0;
    virtual std::size_t PlayingCount() const = 0;
    virtual std::string PlayingFileName(std::size_t index) const = 0;
    virtual void ShowWindow() = 0;
    virtual void ToggleWindow() = 0;
    virtual void BringToFront() = 0;
    virtual bool CoveredByOtherWindow() const = 0;
    // The window the exit fades, or nullptr when there is none.
    virtual QWidget* Window() const = 0;
    // Saves the lists when they changed (at shutdown).
    virtual void Save() = 0;
    // Dresses the window in the skin just loaded (after a skin switch).
    virtual void ApplyPlaylistSkin() = 0;
};

// The playlist without its window: the model over the playlist file. With no
// window to show, the list counts as always at hand, so the play button plays
// from it instead of doing nothing.
class TModelPlaylist : public IMiniPlaylist {
  public:
    explicit TModelPlaylist(TPlayListModel& model) : m_model(model) {}
    std::string NextTrack() override { return m_model.NextTrack(); }
    std::string PrevTrack() override { return m_model.PrevTrack(); }
    bool Visible() const override { return true; }
    bool HasSelection() const override { return false; }
    void MakeDisplayedListPlaying() override { m_model.MakeDisplayedListPlaying(); }
    void SelectTemporaryList() override { m_model.SelectTemporaryList(); }
    std::vector<std::size_t> AddFilesToList() override { return m_model.AddFilesToList(); }
    bool DisplayedIsPlaying() const override { return m_model.DisplayedRow() == m_model.PlayingRow(); }
    std::size_t PlayingCount() const override { return m_model.PlayingCount(); }
    std::string PlayingFileName(std::size_t index) const override { return m_model.PlayingFileName(index); }
    void ShowWindow() override {}
    void ToggleWindow() override {}
    void BringToFront() override {}
    bool CoveredByOtherWindow() const override { return false; }
    QWidget* Window() const override { return nullptr; }
    void Save() override { m_model.SaveIfModified(); }
    void ApplyPlaylistSkin() override {}

  private:
    TPlayListModel& m_model;
};

// --- the bars' arithmetic ----------------------------------------------------

// The position a release at bar coordinate x asks for: length x / width,
// rounded. x is clamped to the bar; -1 when the bar has no width or the
// length is 0 (nothing to seek).
std::int64_t SeekPositionAt(int x, int barWidth, std::int64_t length);
// The volume a release at bar coordinate x sets: x * 255 / width with x
// clamped to the bar; -1 when the bar has no width.
int VolumeAt(int x, int barWidth);
// The dragged thumb's new left edge, kept between the bar's left edge and the
// bar's left edge + its width.
int DragThumbLeft(int thumbLeft, int mouseX, int grabOffset, int barLeft, int barWidth);
// The spectrum panel's mode after a click (0..3, round) and after a double
// click (down, not below 0).
int VisModeAfterClick(int mode);
int VisModeAfterDblClick(int mode);

// Where a balloon of that size that points at `point` goes on the screen:
// its top-left corner at the point, moved left to stay on the screen, and
// above the point when there is no room below it.
QPoint BalloonPlace(QPoint point, QSize size);

// The balloon: a small window of our own with a title and lines of text that
// closes itself after six seconds.
class TBalloon : public QWidget {
  public:
    TBalloon();
    void ShowAt(QPoint screenPos, const QString& title, const QStringList& lines);
    QString Text() const { return m_text; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString m_title;
    QString m_text;
    QTimer m_close;
};

class TMainController : public QObject {
  public:
    TMainController(TFMain& form, TVAVIVerovu& player, IMiniPlaylist& playlist);
    ~TMainController() override;

    // Attaches the handlers to the form's controls and the player's events.
    void Attach();

    void btnPlayClick();
    void btnPauseClick();
    void btnStopClick();
    void btnNextClick();
    void btnPrevClick();
    void btnOpenClick();
    void btnMuteClick();
    void btnListClick();
    void OpenPlayList1Click();
    void Properties1Click();
    void PlaybackEnded();
    void PlayerModeChanged(TPlayerMode mode);
    void VisWindowShown(const TVisPluginInfo& info);
    void Timer_stepTimer();
    void imgProgressMouseUp(Qt::MouseButton button, int x);
    void btnStepMouseDown(Qt::MouseButton button, int x);
    void btnStepMouseMove(int x);
    void btnStepMouseUp();
    void imgVolMouseUp(Qt::MouseButton button, int x);
    void pVisClick();
    void pVisDblClick();
    void vis1Click();
    void PopupMenu1Popup();
    void Timer1Timer();
    void MouseEntered();

    bool OpenAndPlay(const std::string& name);
    // The front one of btnPlay and btnPause.
    bool PauseInFront() const { return m_pauseInFront; }

    // The context menu's mute item; its check mark follows the player.
    QAction mnMute;
    QTimer Timer1;
    QTimer Timer_step;
    bool BalloonShown = false;
    bool Dragging() const { return m_dragging; }
    TBalloon* Balloon() { return m_balloon.get(); }
    // The remembered visualisation window.
    void* VisWindow() const { return m_visWindow; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showBalloon();
    void closeBalloon();
    void setPauseInFront(bool pause);
    // The mute button's frame and mnMute's check mark as the player reports.
    void showMuted();
    void updateTotalTime();

    TFMain& m_form;
    TVAVIVerovu& m_player;
    IMiniPlaylist& m_playlist;
    std::unique_ptr<TBalloon> m_balloon;
    QPoint m_lastCursor;
    QElapsedTimer m_lastMove;
    bool m_dragging = false;
    bool m_pauseInFront = false;
    int m_grabOffset = 0;
    void* m_visWindow = nullptr;
};
