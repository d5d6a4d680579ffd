// The playlist model's real dialogs: input boxes, questions, the open-file
// dialog and the target-list picker. User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "playlist/PlayListSeams.h"

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
