// Reads lines from a file descriptor (quillet-play's standard input) on a thread of
// its own, and optionally watches a signalfd, so that the thread that owns the engine
// only ever gets whole lines handed to it.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace quillet::tools {

class LineReader {
  public:
    // Lines longer than this are cut: the rest of such a line is dropped, so a
    // stream without line breaks cannot make the reader grow without bound.
    static constexpr size_t kMaxLine = 4096;

    // onLine gets every line without its line break (a last line without one
    // too); onSignal is called when signalFd (-1: none) reports a signal. Both run
    // on the reader's thread. End of input is not reported: the reader then keeps
    // watching the signalfd until stop(). Nothing starts before start().
    LineReader(int fd, int signalFd, std::function<void(std::string)> onLine, std::function<void()> onSignal);
    ~LineReader();  // stops
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool start();
    // Ends the thread and waits for it; neither callback runs after it returns.
    // Owner thread only.
    void stop();

  private:
    void run();
    void feed(const char* data, size_t size);

    int m_fd;
    int m_signalFd;
    int m_wake[2] = {-1, -1};
    std::function<void(std::string)> m_onLine;
    std::function<void()> m_onSignal;
    std::string m_line;
    std::thread m_thread;
};

}  // namespace quillet::tools
