// GoogleTest's main with the QApplication and the message layer's Qt pump the
// player's notifications come through.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/win/qt/QtMessagePump.h"
#include "shell/UMain.h"

int main(int argc, char** argv) {
    TFMain::PrepareApplication();
    QApplication app(argc, argv);
    quillet::win::QtMessagePump pump;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
