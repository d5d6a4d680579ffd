// Runs one of the tools as a child process for a test: stdin is a pipe the test
// writes commands to, stdout lines are collected with the time each one arrived,
// stderr is collected as text.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace toolstest {

using Clock = std::chrono::steady_clock;

struct OutputLine {
    std::string text;
    Clock::time_point at;
};

// The folder of the running test executable: the tools are built beside it.
std::string binDir();

class ToolProcess {
  public:
    // program: a path; env: extra "NAME=value" entries that override the parent's.
    ToolProcess(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env = {});
    ~ToolProcess();  // kills the child when it still runs
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    bool started() const { return m_pid > 0; }
    Clock::time_point startedAt() const { return m_startedAt; }

    // Writes one line (a '\n' is added) to the child's stdin.
    bool send(const std::string& line);
    void closeInput();
    bool signal(int sig);

    // Waits until a stdout line from the from-th on satisfies pred; returns it.
    std::optional<OutputLine> waitForLine(const std::function<bool(const std::string&)>& pred,
                                          std::chrono::milliseconds timeout, size_t from = 0);
    std::optional<OutputLine> waitForLine(const std::string& exact, std::chrono::milliseconds timeout) {
        return waitForLine([&](const std::string& l) { return l == exact; }, timeout);
    }
    // Waits for the exit; nothing when it did not exit in time (it is killed then).
    // The value is the exit code, or 128 + the signal that ended it.
    std::optional<int> wait(std::chrono::milliseconds timeout);

    std::vector<OutputLine> lines() const;
    std::string errorText() const;

  private:
    bool readable(int fd);
    void readStdout();
    void readStderr();

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
    Clock::time_point m_startedAt;
    std::optional<int> m_status;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<OutputLine> m_lines;
    std::string m_errText;
    bool m_outClosed = false;
    std::atomic<bool> m_exited{false};
    std::thread m_outReader, m_errReader;
};

}  // namespace toolstest
