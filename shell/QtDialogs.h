// The shell's message boxes: boxes of the message layer shown as Qt message
// boxes. The presenter carries requests from other threads to the
// user-interface thread.
#pragma once

#include <QObject>
#include <string>

#include "platform/win/MessageBox.h"
#include "playlist/window/PlayListDialogs.h"

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
