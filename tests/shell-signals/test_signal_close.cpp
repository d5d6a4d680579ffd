// SIGTERM and SIGINT become one close request on the Qt thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <csignal>

#include "shell/SignalClose.h"

namespace {

bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::atomic<int> g_ownHandler{0};
void ownHandler(int) {
    ++g_ownHandler;
}

TEST(SignalClose, HandsBackTheHandlersWhenNoSignalCame) {
    std::signal(SIGINT, ownHandler);
    {
        TSignalClose s([] {});
        ASSERT_TRUE(s.installed());
        TSignalClose second([] {});
        EXPECT_FALSE(second.installed());  // one at a time
    }
    std::raise(SIGINT);
    EXPECT_EQ(g_ownHandler, 1);
}

TEST(SignalClose, FirstSignalClosesOnceAndLaterOnesAreIgnored) {
    int closes = 0;
    const int before = g_ownHandler;
    {
        TSignalClose s([&] { ++closes; });
        ASSERT_TRUE(s.installed());
        std::raise(SIGINT);
        ASSERT_TRUE(waitFor([&] { return s.signalsSeen() == 1; }));
        EXPECT_EQ(closes, 1);
        // The shutdown runs; more signals come meanwhile.
        std::raise(SIGTERM);
        std::raise(SIGTERM);
        ASSERT_TRUE(waitFor([&] { return s.signalsSeen() == 3; }));
        EXPECT_EQ(closes, 1);
        EXPECT_EQ(g_ownHandler, before);  // the previous handler is not called meanwhile
    }
    // Past the close request the signals stay harmless to the end.
    std::raise(SIGTERM);
    std::raise(SIGINT);
    EXPECT_EQ(closes, 1);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
