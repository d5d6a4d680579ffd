#include "tools/LineReader.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace quillet::tools {

LineReader::LineReader(int fd, int signalFd, std::function<void(std::string)> onLine,
                       std::function<void()> onSignal)
    : m_fd(fd), m_signalFd(signalFd), m_onLine(std::move(onLine)), m_onSignal(std::move(onSignal)) {}

LineReader::~LineReader() {
    stop();
}

bool LineReader::start() {
    if (m_thread.joinable()) return true;
    if (pipe(m_wake) != 0) return false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void LineReader::stop() {
    if (m_thread.joinable()) {
        const char byte = 0;
        while (write(m_wake[1], &byte, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (int& fd : m_wake) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

void LineReader::feed(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
            m_onLine(std::move(m_line));
            m_line.clear();
        } else if (m_line.size() < kMaxLine) {
            m_line += data[i];
        }
    }
}

void LineReader::run() {
    bool inputOpen = m_fd >= 0;
    for (;;) {
        pollfd fds[3];
        nfds_t n = 0;
        fds[n++] = {m_wake[0], POLLIN, 0};
        const nfds_t signalAt = n;
        if (m_signalFd >= 0) fds[n++] = {m_signalFd, POLLIN, 0};
        const nfds_t inputAt = n;
        if (inputOpen) fds[n++] = {m_fd, POLLIN, 0};
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (m_signalFd >= 0 && fds[signalAt].revents) {
            signalfd_siginfo info;
            if (read(m_signalFd, &info, sizeof info) == ssize_t(sizeof info) && m_onSignal) m_onSignal();
        }
        if (inputOpen && fds[inputAt].revents) {
            char buf[4096];
            const ssize_t got = read(m_fd, buf, sizeof buf);
            if (got > 0) {
                feed(buf, size_t(got));
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                inputOpen = false;  // end of input: a last line without a break still counts
                if (!m_line.empty()) {
                    if (m_line.back() == '\r') m_line.pop_back();
                    m_onLine(std::move(m_line));
                    m_line.clear();
                }
            }
        }
    }
}

}  // namespace quillet::tools
