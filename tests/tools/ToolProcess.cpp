#include "tests/tools/ToolProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>

extern char** environ;

namespace toolstest {

std::string binDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, size_t(n));
    return path.substr(0, path.rfind('/'));
}

ToolProcess::ToolProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        vars[entry.substr(0, entry.find('='))] = entry;
    }
    for (const auto& entry : env) vars[entry.substr(0, entry.find('='))] = entry;
    std::vector<std::string> envStrings;
    for (auto& [name, entry] : vars) envStrings.push_back(entry);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    m_startedAt = Clock::now();
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    m_in = in[1];
    m_out = out[0];
    m_err = err[0];
    m_outReader = std::thread([this] { readStdout(); });
    m_errReader = std::thread([this] { readStderr(); });
}

ToolProcess::~ToolProcess() {
    if (m_pid > 0 && !m_status) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_exited = true;
    closeInput();
    if (m_outReader.joinable()) m_outReader.join();
    if (m_errReader.joinable()) m_errReader.join();
    if (m_out >= 0) close(m_out);
    if (m_err >= 0) close(m_err);
}

// Waits for data on fd; false once the child has exited and nothing came for a
// while (a grandchild may hold the pipe open).
bool ToolProcess::readable(int fd) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, 200);
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
        if (r == 0 && m_exited) return false;
    }
}

void ToolProcess::readStdout() {
    std::string pending;
    char buf[4096];
    while (readable(m_out)) {
        const ssize_t n = read(m_out, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const auto now = Clock::now();
        pending.append(buf, size_t(n));
        size_t nl;
        std::lock_guard lock(m_mutex);
        while ((nl = pending.find('\n')) != std::string::npos) {
            m_lines.push_back({pending.substr(0, nl), now});
            pending.erase(0, nl + 1);
        }
        m_cv.notify_all();
    }
    std::lock_guard lock(m_mutex);
    if (!pending.empty()) m_lines.push_back({pending, Clock::now()});
    m_outClosed = true;
    m_cv.notify_all();
}

void ToolProcess::readStderr() {
    char buf[4096];
    while (readable(m_err)) {
        const ssize_t n = read(m_err, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::lock_guard lock(m_mutex);
        m_errText.append(buf, size_t(n));
    }
}

bool ToolProcess::send(const std::string& line) {
    if (m_in < 0) return false;
    const std::string data = line + "\n";
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(m_in, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

void ToolProcess::closeInput() {
    if (m_in >= 0) close(m_in);
    m_in = -1;
}

bool ToolProcess::signal(int sig) {
    return m_pid > 0 && !m_status && kill(m_pid, sig) == 0;
}

std::optional<OutputLine> ToolProcess::waitForLine(const std::function<bool(const std::string&)>& pred,
                                                   std::chrono::milliseconds timeout, size_t from) {
    std::unique_lock lock(m_mutex);
    const auto deadline = Clock::now() + timeout;
    size_t seen = from;
    for (;;) {
        for (; seen < m_lines.size(); ++seen) {  // from may lie beyond the lines read yet
            if (pred(m_lines[seen].text)) return m_lines[seen];
        }
        if (m_outClosed) return std::nullopt;
        if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout && seen == m_lines.size()) {
            return std::nullopt;
        }
    }
}

std::optional<int> ToolProcess::wait(std::chrono::milliseconds timeout) {
    if (m_pid <= 0) return std::nullopt;
    if (m_status) return m_status;
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) break;
        if (r < 0 && errno != EINTR) return std::nullopt;
        if (Clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            m_exited = true;
            m_status = -1;
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_exited = true;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // Let the readers see the end of both pipes.
    if (m_outReader.joinable()) m_outReader.join();
    if (m_errReader.joinable()) m_errReader.join();
    return m_status;
}

std::vector<OutputLine> ToolProcess::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::string ToolProcess::errorText() const {
    std::lock_guard lock(m_mutex);
    return m_errText;
}

}  // namespace toolstest
