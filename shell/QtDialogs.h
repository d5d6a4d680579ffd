// The shell's real dialogs: message boxes of the message layer shown as Qt
// message boxes, and the playlist model's dialogs. User-interface thread for
// the dialogs; the presenter carries requests from other threads there.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/MessageBox.h"
#include "playlist/PlayListSeams.h"

// Shows a message box as a modal Qt box, top-level and centred on the screen
// (a strip embedded in a panel cannot own a dialog), with the given caption.
class TQtMessageBoxPresenter : public quillet::win::MessageBoxPresenter {
  public:
    // Create on the user-interface thread.
    TQtMessageBoxPresenter();
    int present(HWND owner, const std::string& text, const std::string& caption, UINT type) override;

  private:
    QObject m_context;  // lives on the user-interface thread
};

// The playlist model's dialogs as Qt dialogs. Message boxes go through the
// message layer's presenter, so tests can answer them.
class TQtPlayListDialogs : public IPlayListDialogs {
  public:
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void ShowMessage(const std::string& text, const std::string& caption, TMsgIcon icon) override;
    bool OpenFiles(const std::string& filter, std::vector<std::string>& files) override;
    int PickList(const std::vector<std::string>& names) override;

    // Answers the open-file dialog instead of showing it (tests); empty: the
    // real dialog.
    std::function<bool(std::vector<std::string>& files)> OpenFilesAnswer;
};
