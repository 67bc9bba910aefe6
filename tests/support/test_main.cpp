// The main of every test program: Qt offscreen, or on the X display that a display run of the window tests
// names, then GoogleTest.
#include "platform/application.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// The status that ctest counts as a skipped test (SKIP_RETURN_CODE of the display runs).
constexpr int kSkipped = 77;

QtMessageHandler gQtHandler = nullptr;

// Qt says so when an exception crossed its event loop; wherever that happens, it is a fault of the test's
// subject.
void FailOnExceptionThroughQt(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("exception thrown from an event handler")))
        ADD_FAILURE() << "an exception crossed Qt's event loop: " << message.toStdString();
    gQtHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests) && qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("xcb") &&
        qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts(
            "No X display: the display run of this test is skipped (./build.sh test runs it under xvfb).");
        return kSkipped;
    }
    platform::ChooseQtPlatform();
    QApplication app(argc, argv);
    gQtHandler = qInstallMessageHandler(FailOnExceptionThroughQt);
    return RUN_ALL_TESTS();
}
