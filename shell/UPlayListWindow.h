// The playlist as the mini window sees it, served by the playlist window:
// the model's commands, the window's visibility and the skin's playlist
// section read from the mini window's open archive. Qt; user-interface
// thread only.
#pragma once

#include <QRect>
#include <functional>
#include <memory>

#include "playlist/window/AddProgress.h"
#include "playlist/window/UPlayList.h"
#include "shell/UMainController.h"

class TFMain;
struct TPlaylistSkin;
struct TPlaylistColors;

// What the playlist window takes from the skin reader's records.
TPlWindowSkin ToWindowSkin(const TPlaylistSkin& skin);
TPlColors ToWindowColors(const TPlaylistColors& colors);

class TWindowPlaylist : public IMiniPlaylist {
  public:
    // `miniRect` gives the mini window's rectangle on the screen (docked or
    // floating); the window is placed right-aligned above it.
    // `progress` (may be null) reads dropped files between events.
    TWindowPlaylist(TPlayListModel& model, TFMain& form, std::function<QRect()> miniRect,
                    TAddProgress* progress = nullptr);
    // Adds files and folders (their playable files, recursively, sorted by
    // path) to the displayed list, as chosen files are added.
    void AddDropped(const std::vector<std::string>& paths);
    // Appends files or CD tracks by name, read between events.
    void AddNames(const std::vector<std::string>& names);
    // The audio tracks of the discs in the drives ("D:/Track01.cda", ...);
    // when it gives any, the add menu offers them.
    std::function<std::vector<std::string>()> CdTracks;
    ~TWindowPlaylist() override;

    std::string NextTrack() override { return m_model.NextTrack(); }
    std::string PrevTrack() override { return m_model.PrevTrack(); }
    bool Visible() const override { return m_window->isVisible(); }
    bool HasSelection() const override { return m_window->ItemRow() >= 0; }
    void MakeDisplayedListPlaying() override { m_model.MakeDisplayedListPlaying(); }
    void SelectTemporaryList() override { m_model.SelectTemporaryList(); }
    std::vector<std::size_t> AddFilesToList() override;
    bool DisplayedIsPlaying() const override { return m_model.DisplayedRow() == m_model.PlayingRow(); }
    std::size_t PlayingCount() const override { return m_model.PlayingCount(); }
    std::string PlayingFileName(std::size_t index) const override { return m_model.PlayingFileName(index); }
    void ShowWindow() override;
    void ToggleWindow() override;
    void BringToFront() override;
    bool CoveredByOtherWindow() const override { return false; }
    QWidget* Window() const override { return m_window.get(); }
    void Save() override { m_model.SaveIfModified(); }
    void ApplyPlaylistSkin() override;

    TFPlayList& Form() { return *m_window; }

  private:
    TPlayListModel& m_model;
    TFMain& m_form;
    TAddProgress* m_progress;
    std::unique_ptr<TFPlayList> m_window;
    bool m_placed = false;  // placed above the mini window since the last skin
};
