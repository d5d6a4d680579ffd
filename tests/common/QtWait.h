// Waits of the Qt tests that keep Qt's events flowing.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

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

}  // namespace quillet::test
