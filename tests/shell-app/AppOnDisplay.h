// The whole program's spine on a real X server: TMainApp with the real desktop
// and hook library, the strip floating (or docked in a stand-in taskbar), and
// the pointer driven by xdotool at the controls' places on the screen.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/Desktop.h"
#include "platform/hook/Hook.h"
#include "shell/UMainApp.h"
#include "tests/desktop/DesktopTest.h"
#include "tests/shell-app/AppTest.h"

namespace apptest {

class AppOnDisplay : public ::testing::Test {
  protected:
    // The player's output: the sound server for the sound tests, else none.
    virtual int device() const { return TVAVIVerovu::kNoSoundDevice; }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        desktop = quillet::desktop::Desktop::create();
        ASSERT_NE(desktop, nullptr) << "these tests need an X server ($DISPLAY)";
        x = quillet::test::testConnection();
        ASSERT_NE(x, nullptr);
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        TMainApp::TOptions o = quillet::test::TestAppOptions(dir.path(), device());
        o.desktop = desktop.get();
        o.hookStart = [](HWND hwnd, int mode, int width, int height) {
            HookStart(hwnd, mode, width, height);
        };
        o.hookChangeSize = [](int width) { HookChangeSize(width, 0); };
        o.hookEnd = [] { HookEnd(); };
        app = std::make_unique<TMainApp>(std::move(o));
    }
    void TearDown() override {
        if (app) app->FormClose();
        app.reset();
        quillet::win::setMessageBoxPresenter(nullptr);
        xdotool({"mousemove", "0", "0"});
    }

    // The start-up and the first show; the strip floats until a taskbar docks it.
    void start() {
        ASSERT_TRUE(app->FormCreate());
        app->FormShow();
        ASSERT_TRUE(quillet::test::waitFor([&] { return x->viewable(miniId()); }));
    }

    xcb_window_t miniId() { return static_cast<xcb_window_t>(app->Form().winId()); }
    // Where the server has the mini window, docked or floating.
    RECT miniOnScreen() { return x->rectOnScreen(miniId()).value_or(RECT{}); }
    // The screen point of `local` inside control w of the mini window.
    QPoint onScreen(const QWidget* w, QPoint local) {
        const RECT r = miniOnScreen();
        return QPoint(r.left, r.top) + w->mapTo(&app->Form(), local);
    }
    QPoint centreOf(const QWidget* w) { return onScreen(w, w->rect().center()); }

    // Runs xdotool with args (XTest needs nothing of us meanwhile), then lets
    // Qt handle what it did.
    bool xdotool(const QStringList& args) {
        quillet::test::Program p("xdotool", args);
        const bool done = p.started() && p.finished();
        quillet::test::settle(50);
        return done;
    }
    bool moveTo(QPoint p) { return xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())}); }
    // A real left click at the control's centre.
    bool click(const QWidget* w) {
        const QPoint p = centreOf(w);
        return xdotool(
            {"mousemove", QString::number(p.x()), QString::number(p.y()), "sleep", "0.1", "click", "1"});
    }
    // Answers the open-file dialog with path.
    void answerOpen(const std::string& path) {
        app->Dialogs().OpenFilesAnswer = [path](std::vector<std::string>& files) {
            files = {path};
            return true;
        };
    }
    bool waitMode(TPlayerMode mode, int timeoutMs = 5000) {
        return quillet::test::waitFor([&] { return app->Player()->Mode() == mode; }, timeoutMs);
    }

    QTemporaryDir dir;
    std::unique_ptr<quillet::desktop::Desktop> desktop;
    std::unique_ptr<quillet::desktop::XConnection> x;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    std::unique_ptr<TMainApp> app;
};

}  // namespace apptest
