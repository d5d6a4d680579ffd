// Helpers of the desktop tests: programs started beside the test (a stand-in
// taskbar, tint2, a tray icon), waits that keep Qt's events flowing, and an X
// connection of the test's own to check what the server really holds.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/desktop/X11.h"

namespace quillet::test {

// Keeps Qt's (and the message layer's, when pumped by Qt) events flowing until
// done() holds or timeoutMs passes; returns done().
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return done();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

inline void settle(int ms) {
    waitFor([] { return false; }, ms);
}

// A program the test starts and ends. Its standard input stays open until the
// program is ended, so helpers that stop at end of input stop with the test.
class Program {
  public:
    // quiet: the program's standard error is dropped (a chatty panel).
    Program(const QString& path, const QStringList& args, bool quiet = false) {
        m_process.setProgram(path);
        m_process.setArguments(args);
        if (quiet)
            m_process.setStandardErrorFile(QProcess::nullDevice());
        else
            m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
    }
    ~Program() { stop(); }
    bool started() { return m_process.waitForStarted(5000); }
    // The first line the program prints (empty when none comes in time).
    QString firstLine(int timeoutMs = 10000) {
        QElapsedTimer t;
        t.start();
        while (!m_process.canReadLine() && t.elapsed() < timeoutMs) m_process.waitForReadyRead(100);
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    // Waits for the program to end by itself; false when it did not in time.
    bool finished(int timeoutMs = 10000) { return m_process.waitForFinished(timeoutMs); }
    void kill() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) kill();
    }
    qint64 pid() const { return m_process.processId(); }

  private:
    QProcess m_process;
};

// A helper program built beside the test.
inline QString helperPath(const char* name) {
    return QCoreApplication::applicationDirPath() + "/" + name;
}

// The window id a helper prints on its first line: "ready 0x<id>".
inline xcb_window_t readyWindow(Program& p) {
    const QString line = p.firstLine();
    EXPECT_TRUE(line.startsWith("ready ")) << line.toStdString();
    return line.mid(6).toUInt(nullptr, 16);
}

// The colour (0xrrggbb) the screen shows at (x, y), on a 24-bit screen.
inline std::uint32_t screenPixel(desktop::XConnection& x, int px, int py) {
    xcb_get_image_reply_t* r = xcb_get_image_reply(
        x.get(),
        xcb_get_image(x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), static_cast<std::int16_t>(px),
                      static_cast<std::int16_t>(py), 1, 1, ~0u),
        nullptr);
    if (r == nullptr) return 0xffffffff;
    std::uint32_t pixel = 0xffffffff;
    if (xcb_get_image_data_length(r) >= 4) std::memcpy(&pixel, xcb_get_image_data(r), 4);
    std::free(r);
    return pixel & 0xffffff;
}

inline std::unique_ptr<desktop::XConnection> testConnection() {
    auto x = desktop::XConnection::open();
    EXPECT_NE(x, nullptr) << "the desktop tests need an X server ($DISPLAY)";
    return x;
}

}  // namespace quillet::test
