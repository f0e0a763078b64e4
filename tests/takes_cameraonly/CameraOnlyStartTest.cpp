// How a "Just me" or short start ends when something is missing, refused or interrupted, on fakes.
#include "CameraOnlyFixture.h"

#include "framing/CountdownWindow.h"
#include "platform/system/HostClock.h"
#include "takes/CameraOnlyTake.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

using Kind = RecordingPhase::Kind;

QCoro::Task<> startThenMark(RecordingController& controller, bool& done)
{
    QCoro::Task<> starting = controller.start();
    co_await std::move(starting);
    done = true;
}

class CameraOnlyStart : public CameraOnlyFixture {
protected:
    void SetUp() override
    {
        CameraOnlyFixture::SetUp();
        controller->setCaptureMode(CaptureMode::cameraOnly);
    }
    QString failure() const { return controller->phase().kind() == Kind::failed ? controller->phase().payload() : QString(); }
};

TEST_F(CameraOnlyStart, MissingOrRefusedDevicesFailWithTheirSentence)
{
    struct Case {
        const char* name;
        bool cameras;
        bool microphones;
        Permissions::State camera;
        Permissions::State microphone;
        QString sentence;
        QString logLine;
    };
    const QString cameraOff = QStringLiteral(
        "Camera access is off. Add your user to the \"video\" group and log out and in again, then reopen the app.");
    const QString microphoneOff = QStringLiteral(
        "Microphone access is off, so the take would have no voice. Make sure PulseAudio or PipeWire runs for your session, then reopen the app.");
    const std::vector<Case> cases = {
        // No camera node at all is nothing to refuse: the start says that no camera exists.
        {"no camera", false, true, Permissions::State::notAsked, Permissions::State::granted, QStringLiteral("No camera found."), {}},
        {"camera refused", true, true, Permissions::State::denied, Permissions::State::granted, cameraOff,
            QStringLiteral("camera-only start aborted: camera permission denied")},
        {"microphone refused", true, true, Permissions::State::granted, Permissions::State::denied, microphoneOff,
            QStringLiteral("camera-only start aborted: microphone permission denied")},
        {"no microphone", true, false, Permissions::State::granted, Permissions::State::granted, QStringLiteral("No microphone found."), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        access.cameraState = c.camera;
        access.microphoneState = c.microphone;
        services.cameraList = c.cameras ? std::vector<CaptureDeviceInfo>{listed(*desk)} : std::vector<CaptureDeviceInfo>{};
        services.microphoneList = c.microphones ? std::vector<CaptureDeviceInfo>{device(QStringLiteral("mic"))} : std::vector<CaptureDeviceInfo>{};
        controller->refreshDevices();
        controller->setPhase(RecordingPhase::idle());
        QCoro::waitFor(controller->start());
        EXPECT_EQ(failure(), c.sentence);
        if (!c.logLine.isEmpty()) {
            EXPECT_TRUE(readLog().contains(c.logLine));
        }
        EXPECT_FALSE(recorder().hasMicrophone());
        EXPECT_FALSE(QDir(path(QStringLiteral("Brain"))).exists()) << "nothing is made before the devices are there";
    }
}

TEST_F(CameraOnlyStart, AMicrophoneThatWillNotOpenFailsTheStartAndLetsTheCameraGo)
{
    services.cameraOnly.microphone->startError = QStringLiteral("source busy");
    QCoro::waitFor(controller->start());
    EXPECT_EQ(failure(), QStringLiteral("The camera or microphone could not be opened."));
    EXPECT_TRUE(readLog().contains(QStringLiteral("[camera-only start]")));
    EXPECT_FALSE(readLog().contains(QStringLiteral("camera-only: cold camera warmed up for"))) << "the microphone opens first";
    EXPECT_FALSE(recorder().isRunning()) << "no window wants the preview";
}

TEST_F(CameraOnlyStart, AnInterruptedCountdownNeverFilms)
{
    QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
    controller->setCountdownSeconds(3);
    controller->setFramingWindowOpen(true);
    settle();
    bool done = false;
    QCoro::Task<> starting = startThenMark(*controller, done);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->phase().kind() == Kind::countingDown; }, 5000));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return recorder().hasMicrophone(); }, 2000)) << "the microphone opens while the numbers run";
    FakeAudioCapture::push(*services.cameraOnly.microphone, HostClock::now().seconds());
    // A second start while the first counts down does nothing.
    QCoro::waitFor(controller->start());
    controller->setPhase(RecordingPhase::idle());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }, 5000));
    EXPECT_EQ(controller->phase().kind(), Kind::idle);
    EXPECT_FALSE(recorder().hasMicrophone());
    EXPECT_TRUE(recorder().isRunning()) << "the framing window keeps its preview";
    EXPECT_FALSE(QDir(path(QStringLiteral("Brain"))).exists());
    EXPECT_FALSE(controller->activeTake()->isRunning());
}

TEST_F(CameraOnlyStart, WithNoDisplayListedTheTakeStartsWithoutCounting)
{
    QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
    ASSERT_FALSE(controller->displays().empty());
    // Screen access goes away: the display list empties although the desktop still has its screens.
    access.screenState = Permissions::State::denied;
    QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
    ASSERT_TRUE(controller->displays().empty());
    controller->setCountdownSeconds(3);
    std::vector<Kind> phases;
    QObject::connect(controller.get(), &RecordingController::changed, controller.get(), [&] {
        if (phases.empty() || phases.back() != controller->phase().kind())
            phases.push_back(controller->phase().kind());
    });
    bool done = false;
    QCoro::Task<> starting = startThenMark(*controller, done);
    // A cold camera warms up for up to 3 s first.
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }, 20000));
    EXPECT_EQ(controller->phase().kind(), Kind::recording) << controller->phase().payload().toStdString();
    EXPECT_EQ(std::count(phases.begin(), phases.end(), Kind::countingDown), 0) << "no numbers without a screen";
    EXPECT_EQ(std::count(phases.begin(), phases.end(), Kind::preparing), 1);
    EXPECT_FALSE(readLog().contains(QStringLiteral("countdown ended")));
}

TEST_F(CameraOnlyStart, FailureSentencesSayWhatWasKept)
{
    CameraOnlyRecorder::Failure kept{{CameraOnlyRecorder::RecorderError::Kind::writerFailed, QStringLiteral("the camera was disconnected")},
        QStringLiteral("/x/video 1/final.mov"), 75.9};
    EXPECT_EQ(CameraOnlyTake::failureSentence(kept),
        QStringLiteral("RECORDING STOPPED — saved up to 01:15 in final.mov. (Could not write the recording: the camera was disconnected)"));
    kept.keptFile.reset();
    EXPECT_EQ(CameraOnlyTake::failureSentence(kept),
        QStringLiteral("RECORDING FAILED — nothing was saved. Press Record again. (Could not write the recording: the camera was disconnected)"));
}

} // namespace
