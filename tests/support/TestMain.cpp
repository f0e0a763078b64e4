#include "support/TestEnvironment.h"

#include <QApplication>
#include <QThread>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdio>

// Every test program runs inside a private HOME and XDG folders and with a Qt application object.
// Without an X display Qt runs offscreen; under xvfb-run the real xcb platform is used.
// OLVENNAR_TEST_SOUND_SERVER=pipewire (set by tests/CMakeLists.txt for the "pipewire." tests) points every
// sound client at the PipeWire session scripts/test.sh started (OLVENNAR_PIPEWIRE_SERVER).
int main(int argc, char** argv)
{
    TestEnvironment::isolateProcess();
    const bool onPipeWire = qgetenv("OLVENNAR_TEST_SOUND_SERVER") == "pipewire";
    if (onPipeWire && !qEnvironmentVariableIsEmpty("OLVENNAR_PIPEWIRE_SERVER"))
        qputenv("PULSE_SERVER", qgetenv("OLVENNAR_PIPEWIRE_SERVER"));
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        // Many test processes start at once under ctest -j; a busy X server can refuse a connection for a
        // moment, so try a few times before giving up on the display.
        bool reachable = false;
        for (int attempt = 0; attempt < 20 && !reachable; ++attempt) {
            xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
            reachable = !xcb_connection_has_error(probe);
            xcb_disconnect(probe);
            if (!reachable)
                QThread::msleep(100);
        }
        if (!reachable)
            qunsetenv("DISPLAY");
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Olvennar"));
    ::testing::InitGoogleTest(&argc, argv);
    if (onPipeWire && qEnvironmentVariableIsEmpty("OLVENNAR_PIPEWIRE_SERVER") && !GTEST_FLAG_GET(list_tests)) {
        // ctest counts the test skipped on this line.
        std::printf("[  SKIPPED ] PipeWire's sound server is not running here (scripts/test.sh starts one where pipewire, "
                    "wireplumber and pipewire-pulse are installed)\n");
        return 0;
    }
    return RUN_ALL_TESTS();
}
