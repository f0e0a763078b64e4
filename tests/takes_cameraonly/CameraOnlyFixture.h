#pragma once

#include "capture/CameraOnlyRecorder.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"
#include "support/FakeTakeServices.h"

#include <QCoreApplication>

#include <qcorotask.h>

#include <memory>

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
        platform.takes = &services;
        controller = std::make_unique<RecordingController>(platform);
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
    CameraOnlyRecorder& recorder() { return *controller->cameraOnlyRecorder(); }
    // Lets queued routing run.
    static void settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    int previewStarts() { return readLog().count(QStringLiteral("framing preview (")); }

    std::shared_ptr<FakeCameraHub> desk = FakeCameraHub::make({FakeCameraHub::landscape(1280, 720, 30), FakeCameraHub::landscape(1920, 1080, 30)}, QStringLiteral("Desk"));
    std::shared_ptr<FakeCameraHub> side = FakeCameraHub::make({FakeCameraHub::landscape(640, 360, 30)}, QStringLiteral("Side"));
    FakeAccessProbe access;
    FakeTakeServices services;
    std::unique_ptr<RecordingController> controller;
};
