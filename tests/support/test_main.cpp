// The main of every test program: Qt without a display, then GoogleTest.
#include "platform/application.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    platform::ChooseQtPlatform();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
