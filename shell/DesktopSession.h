// What the desktop asks of the running program: names to open (from the
// command line, a later start or a bus client) and requests to show the
// playlist window, run as the mini window's open and list commands do.
// Qt; user-interface thread only.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class TMainApp;

// Does what the open button does with `names` (resolved: local paths and
// stream URLs) instead of the names chosen in the dialog: they are appended
// to the temporary list, which is displayed, and the first of them that
// opens plays as the current entry of the temporary list. The modified flag
// is not set. True when one plays.
bool OpenNames(TMainApp& app, const std::vector<std::string>& names);

// A later start's hand-over: names to open, or none to show the playlist
// window.
void HandOver(TMainApp& app, const std::vector<std::string>& names);

// Commands that change the player, run one at a time and never inside one
// of the engine's waits (it pauses, fades and drains with the event loop
// running, and a command there could close what it waits for). A command
// queued while another runs or a wait is active runs when both are over.
class TCommandQueue {
  public:
    explicit TCommandQueue(std::function<bool()> idle);
    ~TCommandQueue();
    void Enqueue(std::function<void()> command);
    std::size_t Size() const { return m_queue.size(); }
    bool Running() const { return m_running; }

  private:
    void schedule(int delayMs);
    void run();

    std::function<bool()> m_idle;
    std::deque<std::function<void()>> m_queue;
    bool m_running = false;
    bool m_scheduled = false;
    QObject m_context;
};
