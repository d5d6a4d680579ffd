// Pumps the window-message layer's queue of a thread from that thread's Qt event loop.
//
// Create one on the user-interface thread once the QCoreApplication exists (the shell
// does, before its first window). From then on:
// - a message posted or sent to the thread (from any thread) makes Qt's loop pump the
//   queue promptly: the layer wakes the pump, which posts one Qt event; no polling;
// - timers of the thread are served by one precise single-shot QTimer set to the next
//   due timer, stopped while the thread has none (idle means no wake-ups);
// - a quit message (PostQuitMessage, or one met by a wait) ends the Qt loop with its
//   exit code (QCoreApplication::exit);
// - ProcessMessages() on the thread also processes Qt's pending events.
// Destroying the pump (on the same thread) unplugs it; headless threads use the
// layer's own loop instead (RunMessageLoop).
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

namespace quillet::win {

class QtMessagePump : public QObject {
  public:
    explicit QtMessagePump(QObject* parent = nullptr);
    ~QtMessagePump() override;

    QtMessagePump(const QtMessagePump&) = delete;
    QtMessagePump& operator=(const QtMessagePump&) = delete;

  protected:
    bool event(QEvent* e) override;

  private:
    class Integration;
    void pump();
    std::shared_ptr<Integration> m_integration;
    QTimer m_timer;
};

}  // namespace quillet::win
