// Helpers of the desktop tests: programs started beside the test (a stand-in
// taskbar, tint2, a tray icon), waits that keep Qt's events flowing, and an X
// connection of the test's own to check what the server really holds.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/desktop/X11.h"
#include "tests/common/QtWait.h"

namespace quillet::test {

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
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    // How the program ended: its exit status, -1 when it crashed or was killed.
    int exitCode() const {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

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

// tint2 as the desktop's panel: a 1280 x 32 bar along the bottom with a task
// list, a system tray and a clock. Without a window manager it needs to be told
// the desktops first, or it waits for one.
class Tint2 {
  public:
    explicit Tint2(desktop::XConnection& x) {
        for (const char* name : {"_NET_NUMBER_OF_DESKTOPS", "_NET_CURRENT_DESKTOP"}) {
            const std::uint32_t value = std::strcmp(name, "_NET_CURRENT_DESKTOP") == 0 ? 0 : 1;
            xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, x.root(), x.atom(name), XCB_ATOM_CARDINAL, 32,
                                1, &value);
        }
        x.sync();
        QFile rc(m_dir.filePath("tint2rc"));
        EXPECT_TRUE(rc.open(QIODevice::WriteOnly));
        rc.write(
            "panel_items = TSC\npanel_size = 100% 32\npanel_position = bottom center horizontal\n"
            "panel_layer = top\nautohide = 0\nstrut_policy = follow_size\nwm_menu = 0\n"
            "systray_padding = 2 2 2\nsystray_icon_size = 22\ntime1_format = %H:%M\n");
        rc.close();
        const QString tint2 = QStandardPaths::findExecutable("tint2");
        EXPECT_FALSE(tint2.isEmpty()) << "tint2 is not installed";
        m_panel = std::make_unique<Program>(tint2, QStringList{"-c", rc.fileName()}, true);
    }
    void kill() { m_panel->kill(); }

  private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_panel;
};

}  // namespace quillet::test
