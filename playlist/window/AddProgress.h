// Adding many files without freezing the windows. TAddProgress stands
// between the playlist model and its real seams: while the model reads the
// files of one add (the files the open dialog returned, or the count given
// to Expect), the event loop runs between two files, so the windows repaint
// and the player's timers tick; after half a second a progress dialog
// appears, and its Cancel skips the files not yet read (those read stay).
// Before the dialog shows, user input waits; while it shows, it is modal.
//
// It also holds the model's message boxes back while the program starts, so
// a damaged playlist file is reported once the mini window is on screen.
// Qt Widgets; user-interface thread only.
#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playlist/PlayListSeams.h"

class TAddProgress : public IPlayListEngine, public IPlayListDialogs {
  public:
    // Both must outlive this object.
    TAddProgress(IPlayListEngine& engine, IPlayListDialogs& dialogs);
    ~TAddProgress() override;

    // The next `count` files the model reads belong to one add.
    void Expect(std::size_t count);
    // Ends the add (the files not read belong to no add).
    void End() { finish(); }
    // Holds ShowMessage's boxes until ReleaseMessages shows them in order.
    void HoldMessages() { m_holding = true; }
    void ReleaseMessages();

    // The longest time one file kept the event loop from running during the
    // last add, and the dialog (null unless shown).
    qint64 LongestStepMs() const { return m_longest; }
    QProgressDialog* Dialog() const { return m_dialog.get(); }
    // Milliseconds before the dialog appears.
    static constexpr int kDialogDelay = 500;

    // IPlayListEngine
    bool BASSReady() const override { return m_engine.BASSReady(); }
    std::string NativeFileExts() const override { return m_engine.NativeFileExts(); }
    bool GetStreamInfo(const std::string& name, TStreamInfo& info) override;
    bool Open(const std::string& name) override;
    void Play() override { m_engine.Play(); }
    void Stop() override { m_engine.Stop(); }
    uint32_t PlayLength() const override { return m_engine.PlayLength(); }
    TStreamInfo StreamInfo() const override { return m_engine.StreamInfo(); }

    // IPlayListDialogs
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
        return m_dialogs.InputQuery(caption, prompt, value);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        return m_dialogs.AskYesNo(text, caption);
    }
    void ShowMessage(const std::string& text, const std::string& caption, TMsgIcon icon) override;
    bool OpenFiles(const std::string& filter, std::vector<std::string>& files) override;
    int PickList(const std::vector<std::string>& names) override { return m_dialogs.PickList(names); }

  private:
    // One file of the add read (or skipped): counts it, shows the dialog when
    // due and lets the event loop run.
    bool step(const std::function<bool()>& read);
    void finish();

    IPlayListEngine& m_engine;
    IPlayListDialogs& m_dialogs;
    std::size_t m_total = 0, m_done = 0;
    bool m_cancelled = false;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
    qint64 m_lastStep = 0;  // when the event loop last ran
    std::unique_ptr<QProgressDialog> m_dialog;
    bool m_holding = false;
    struct Held {
        std::string text, caption;
        TMsgIcon icon;
    };
    std::vector<Held> m_held;
};

// The files of dropped paths: files as they are, folders as their files
// whose names match one of `patterns` ("*.mp3;*.ogg;"), recursively, sorted
// by path.
std::vector<std::string> ExpandDropped(const std::vector<std::string>& paths, const std::string& patterns);
