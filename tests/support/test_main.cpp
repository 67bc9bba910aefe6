// The main of every test program: Qt without a display, then GoogleTest.
#include "platform/application.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

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
    platform::ChooseQtPlatform();
    QApplication app(argc, argv);
    gQtHandler = qInstallMessageHandler(FailOnExceptionThroughQt);
    return RUN_ALL_TESTS();
}
