#pragma once

#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "capture/CameraOnlyRecorder.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "support/HeldSaveJobs.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"
#include "support/FakeTakeServices.h"

#include "platform/system/HostClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <qcorotask.h>

#include <memory>

// Starts a take and marks when the start has run its course.
inline QCoro::Task<> startThenMark(RecordingController& controller, bool& done)
{
    QCoro::Task<> starting = controller.start();
    co_await std::move(starting);
    done = true;
}

// A controller whose camera-only recorder films fake cameras ("Desk" 1920x1080 and 1280x720, "Side" 640x360)
// and a scripted microphone.
class CameraOnlyFixture : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        settings->setString(QStringLiteral("projectsRoot"), path(QStringLiteral("Brain")));
        services.cameraOnly.cameras = {desk, side};
        services.cameraList = {listed(*desk), listed(*side)};
        services.microphoneList = {device(QStringLiteral("mic"))};
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = &services;
        controller = std::make_unique<RecordingController>(platform);
        holdSaveJobs(controller->finishQueue(), services.jobs);
        controller->setCountdownSeconds(0);
        controller->refreshDevices();
        settle();
    }

    void TearDown() override
    {
        controller.reset();
        SandboxTest::TearDown();
    }

    static CaptureDeviceInfo listed(const CameraHub& camera)
    {
        CaptureDeviceInfo info;
        info.uniqueID = camera.uniqueID();
        info.localizedName = camera.localizedName();
        return info;
    }
    CameraOnlyRecorder& recorder() { return *controller->routing().recorder(); }
    // Lets queued routing run.
    static void settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    int previewStarts() { return readLog().count(QStringLiteral("framing preview (")); }
    // Starts a take while the desk camera streams frames stamped before it: the start sees a live camera, and
    // the take films nothing the test does not send. True once the start has run its course.
    bool startWithTheCameraAlive()
    {
        bool done = false;
        QCoro::Task<> starting = startThenMark(*controller, done);
        const double beforeTheTake = HostClock::now().seconds() - 60;
        QElapsedTimer since;
        since.start();
        while (!done && since.elapsed() < 20000) {
            desk->emitFrame(beforeTheTake);
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
        return done;
    }

    std::shared_ptr<FakeCameraHub> desk = FakeCameraHub::make({FakeCameraHub::landscape(1280, 720, 30), FakeCameraHub::landscape(1920, 1080, 30)}, QStringLiteral("Desk"));
    std::shared_ptr<FakeCameraHub> side = FakeCameraHub::make({FakeCameraHub::landscape(640, 360, 30)}, QStringLiteral("Side"));
    FakeAccessProbe access;
    FakeTakeServices services;
    std::unique_ptr<RecordingController> controller;
};
