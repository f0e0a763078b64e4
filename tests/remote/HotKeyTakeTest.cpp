// The global keys drive a real screen take: Ctrl+R from another client starts it, Super+Alt+Z marks a zoom
// only while it records, Ctrl+R stops it.
#include "app/LinuxTakeServices.h"
#include "core/HotKeyCenter.h"
#include "core/RecordingController.h"
#include "takes/TakeControls.h"
#include "finishing/SaveJobHandover.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/x11/XcbGlobalKeyGrabber.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include <qcorotask.h>

#include <gtest/gtest.h>

namespace {

void press(const char* keys) { ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)}), 0); }

class HotKeyTakeTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        grabber = XcbGlobalKeyGrabber::create();
        ASSERT_TRUE(grabber);
        hotKeys = std::make_unique<HotKeyCenter>(grabber.get());
        services = std::make_unique<LinuxTakeServices>(LinuxTakeServices::Devices{&cameras, [](const QString&) { return CameraHubRegistry::Result{}; }});
        services->setSaveJobSink([this](const SaveJobHandover& job) { jobs.push_back(job); });
        settings->setString(QStringLiteral("publicSaveFolder.v1"), path(QStringLiteral("Takes")));
        Platform platform{*settings, access};
        platform.takes = services.get();
        platform.hotKeys = hotKeys.get();
        controller = std::make_unique<RecordingController>(platform);
        controller->setCountdownSeconds(0);
        QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
        ASSERT_FALSE(controller->displays().empty());
        ASSERT_TRUE(hotKeys->refusedKeys().isEmpty()) << hotKeys->refusedKeys().join(QLatin1Char(' ')).toStdString();
    }

    void TearDown() override
    {
        controller.reset();
        services.reset();
        hotKeys.reset();
        grabber.reset();
        SandboxTest::TearDown();
    }

    FakeAccessProbe access;
    FakeVideoDeviceCatalog cameras;
    std::unique_ptr<XcbGlobalKeyGrabber> grabber;
    std::unique_ptr<HotKeyCenter> hotKeys;
    std::unique_ptr<LinuxTakeServices> services;
    std::unique_ptr<RecordingController> controller;
    std::vector<SaveJobHandover> jobs;
};

TEST_F(HotKeyTakeTest, CtrlRStartsAndStopsATakeAndZoomKeysMarkOnlyWhileRecording)
{
    press("ctrl+r");
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->phase().kind() == RecordingPhase::Kind::recording; }, 8000));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->elapsed() > 0.3; }, 5000));
    press("super+alt+z");
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return readLog().contains(QStringLiteral("zoom mark in (")); }, 3000));

    press("ctrl+p");
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->phase().kind() == RecordingPhase::Kind::paused; }, 3000));
    const int marksBefore = controller->zoomMarkCount();
    press("super+alt+x"); // paused: ignored
    TestEnvironment::waitUntil([] { return false; }, 300);
    EXPECT_EQ(controller->zoomMarkCount(), marksBefore);
    EXPECT_FALSE(readLog().contains(QStringLiteral("zoom mark out")));

    press("ctrl+r");
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !jobs.empty(); }, 10000));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !controller->phase().isBusy(); }, 5000));
    EXPECT_TRUE(QFile::exists(jobs.front().request.rawURL));
}

} // namespace
