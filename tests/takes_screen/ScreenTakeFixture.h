#pragma once

#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "support/HeldSaveJobs.h"
#include "support/FakeTakeServices.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "platform/system/HostClock.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"
#include "takes/ScreenTake.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <qcorotask.h>

#include <memory>
#include <vector>

// The studio's screen take, as its table made it.
inline const ScreenTake& screenTakeOf(const RecordingController& controller)
{
    return static_cast<const ScreenTake&>(*controller.takeOf(CaptureMode::screen));
}

// A controller over fake displays, devices and recorders, with the phases it went through.
class ScreenTakeFlow : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        settings->setString(QStringLiteral("projectsRoot"), path(QStringLiteral("Brain")));
        services.microphoneList = {device(QStringLiteral("mic"))};
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = &services;
        controller = std::make_unique<RecordingController>(platform);
        holdSaveJobs(controller->finishQueue(), services.jobs);
        QObject::connect(controller.get(), &RecordingController::changed, [this] {
            const auto kind = controller->phase().kind();
            if (kind != lastPhase)
                phases.push_back(kind);
            lastPhase = kind;
        });
        controller->setCountdownSeconds(0);
        controller->setCaptureMicrophone(false);
        controller->setCaptureSystemAudio(false);
        QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
        clearPhases();
    }

    void clearPhases()
    {
        phases.clear();
        lastPhase = controller->phase().kind();
    }

    // Plugs the desk camera in and switches the bubble on, as the main window would.
    void plugInCamera()
    {
        services.cameraList = {device(QStringLiteral("desk"))};
        controller->refreshDevices();
        controller->setCameraEnabled(true);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        controller.reset();
        SandboxTest::TearDown();
    }

    // Screen frames (and microphone blocks when asked) at the host clock's now, about 50 a second, with
    // the main loop turning in between so the trackers sample.
    void film(int frames, bool withSound = false)
    {
        for (int i = 0; i < frames; ++i) {
            const double now = HostClock::nowSeconds();
            if (withSound)
                FakeAudioCapture::push(*services.microphone, now, 960);
            FakeScreenCapture::push(*services.screen, now);
            QThread::msleep(20);
            QCoreApplication::processEvents();
        }
    }

    // Turns the main loop until a take's start opened the microphone (on a worker), or a quarter second passed.
    void waitForMicrophone()
    {
        for (int i = 0; i < 50 && !services.microphone->running; ++i) {
            QThread::msleep(5);
            QCoreApplication::processEvents();
        }
    }

    void startTake()
    {
        QCoro::waitFor(controller->start());
        ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    }

    // A take filmed for a moment, then the recorder reports `error`; true once the studio shows the failure.
    bool failsMidTake(const ScreenRecorder::RecorderError& error)
    {
        startTake();
        film(20);
        services.recorder->onFailure(error);
        return TestEnvironment::waitUntil([&] {
            QCoreApplication::processEvents();
            return controller->phase().kind() == Kind::failed;
        }, 5000);
    }

    QString folderPath(const QString& name) const { return QDir(path(QStringLiteral("Recordings"))).filePath(name); }
    QStringList folderEntries(const QString& name) const
    {
        return QDir(folderPath(name)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    using Kind = RecordingPhase::Kind;
    FakeAccessProbe access;
    FakeTakeServices services;
    std::unique_ptr<RecordingController> controller;
    std::vector<Kind> phases;
    Kind lastPhase = Kind::idle;
};
