#include "shell/SignalClose.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// The pipe's write end, for the handler; -1 while no TSignalClose holds it.
std::atomic<int> g_writeEnd{-1};
int g_readEnd = -1;
struct sigaction g_previous[2];
constexpr int kSignals[2] = {SIGTERM, SIGINT};

void onSignal(int) {
    const int saved = errno;
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        const char c = 1;
        (void)!write(fd, &c, 1);  // a full pipe already holds a close request
    }
    errno = saved;
}

}  // namespace

TSignalClose::TSignalClose(std::function<void()> close, QObject* parent)
    : QObject(parent), m_close(std::move(close)) {
    if (g_writeEnd.load() >= 0) return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_readEnd = fds[0];
    g_writeEnd = fds[1];
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
    m_notifier = std::make_unique<QSocketNotifier>(g_readEnd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readSignals(); });
    m_installed = true;
}

TSignalClose::~TSignalClose() {
    if (!m_installed) return;
    m_notifier.reset();
    for (int i = 0; i < 2; ++i) {
        if (m_seen == 0) {
            sigaction(kSignals[i], &g_previous[i], nullptr);
        } else {
            std::signal(kSignals[i], SIG_IGN);  // the shutdown is under way
        }
    }
    const int writeEnd = g_writeEnd.exchange(-1);
    close(writeEnd);
    close(g_readEnd);
    g_readEnd = -1;
}

void TSignalClose::readSignals() {
    char buf[64];
    ssize_t n;
    int count = 0;
    while ((n = read(g_readEnd, buf, sizeof buf)) > 0) count += static_cast<int>(n);
    if (count == 0) return;
    const bool first = m_seen == 0;
    m_seen += count;
    if (first && m_close) m_close();
}
