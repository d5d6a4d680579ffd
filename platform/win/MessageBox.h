// Message boxes: MessageBox (WinApi.h) shows its box through a presenter. The shell
// installs one that shows a Qt dialog; headless tools keep the stderr presenter; tests
// install a recorder that answers.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/WinApi.h"

namespace quillet::win {

class MessageBoxPresenter {
  public:
    virtual ~MessageBoxPresenter() = default;
    // Called by MessageBox on the calling thread, which it blocks until answered; a
    // presenter that must show on a particular thread (Qt on the user-interface thread)
    // carries the request there itself. type holds the MB_* flags. Returns the button
    // chosen (IDOK, IDYES...), or 0 when the box could not be shown. Must be thread-safe:
    // several threads may show boxes at once.
    virtual int present(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
};

// The button a box of this type answers when nobody chooses (MB_DEFBUTTONn).
int defaultButton(UINT type);

// Process-wide. nullptr restores the stderr presenter. Any thread.
void setMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter);
std::shared_ptr<MessageBoxPresenter> messageBoxPresenter();

// Writes "caption: text" to stderr and answers the default button at once.
class StderrMessageBoxPresenter : public MessageBoxPresenter {
  public:
    int present(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
};

// Records every box and answers with a set answer (default: the box's default button).
class RecordingMessageBoxPresenter : public MessageBoxPresenter {
  public:
    struct Box {
        HWND owner;
        std::string text;
        std::string caption;
        UINT type;
        DWORD threadId;
    };
    int present(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    void setAnswer(int answer);  // 0: the default button
    std::vector<Box> boxes() const;

  private:
    mutable std::mutex m_mutex;
    std::vector<Box> m_boxes;
    int m_answer = 0;
};

}  // namespace quillet::win
