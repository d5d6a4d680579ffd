// GoogleTest's main with the QApplication the widgets need.
#include <gtest/gtest.h>

#include <QApplication>

#include "shell/UMain.h"

int main(int argc, char** argv) {
    TFMain::PrepareApplication();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
