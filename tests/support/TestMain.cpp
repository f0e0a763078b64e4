#include "support/TestEnvironment.h"

#include <QApplication>

#include <gtest/gtest.h>

// Every test program runs inside a private HOME and XDG folders and with a Qt application object.
// Without an X display Qt runs offscreen; under xvfb-run the real xcb platform is used.
int main(int argc, char** argv)
{
    TestEnvironment::isolateProcess();
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Olvennar"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
