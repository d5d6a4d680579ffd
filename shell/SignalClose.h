// Turns SIGTERM and SIGINT into a close request on the user-interface thread,
// so the program shuts down as its exit command does (the playlists saved when
// changed) and ends with status 0.
//
// The signal handler only writes one byte to a pipe; a QSocketNotifier on the
// user-interface thread reads it and calls close() once. Further signals
// (a second SIGTERM while the shutdown runs) are read and ignored, never fatal.
// Signal dispositions are process-wide: one TSignalClose at a time. Its
// destructor gives back the previous dispositions, unless a signal came, in
// which case the two signals stay ignored until the process ends.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class TSignalClose : public QObject {
  public:
    // On the user-interface thread, with the Qt application created.
    explicit TSignalClose(std::function<void()> close, QObject* parent = nullptr);
    ~TSignalClose() override;
    TSignalClose(const TSignalClose&) = delete;
    TSignalClose& operator=(const TSignalClose&) = delete;

    // True when the handlers are in place (false when another TSignalClose
    // holds them, or the pipe could not be made).
    bool installed() const { return m_installed; }
    // Signals seen so far (the first closes; the rest are ignored).
    int signalsSeen() const { return m_seen; }

  private:
    void readSignals();

    std::function<void()> m_close;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_installed = false;
    int m_seen = 0;
};
