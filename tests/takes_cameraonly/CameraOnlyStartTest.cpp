// How a "Just me" or short start ends when something is missing, refused or interrupted, on fakes.
#include "CameraOnlyFixture.h"

#include "views/framing/CountdownWindow.h"
#include "platform/system/HostClock.h"
#include "takes/CameraOnlyTake.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

#include <gtest/gtest.h>

namespace {

using Kind = RecordingPhase::Kind;

class CameraOnlyStart : public CameraOnlyFixture {
protected:
    void SetUp() override
    {
        CameraOnlyFixture::SetUp();
        controller->setCaptureMode(CaptureMode::cameraOnly);
    }
    QString failure() const { return controller->phase().kind() == Kind::failed ? controller->phase().payload() : QString(); }
    // The take's microphone speaks in 10 ms blocks until `until` holds or the time runs out.
    bool speakUntil(const std::function<bool()>& until, int timeoutMs)
    {
        QElapsedTimer since;
        since.start();
        while (!until() && since.elapsed() < timeoutMs) {
            FakeAudioCapture::push(*services.cameraOnly.microphone, HostClock::now().seconds());
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
        return until();
    }
    // Starts a take while the microphone speaks; true once it films.
    bool startFilming()
    {
        bool done = false;
        QCoro::Task<> starting = startThenMark(*controller, done);
        return speakUntil([&] { return done; }, 15000) && controller->phase().kind() == Kind::recording;
    }
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

TEST_F(CameraOnlyStart, AMissingCameraOrMicrophoneIsShownWithoutALogLine)
{
    const QString noCamera = QStringLiteral("No camera found.");
    const QString noMicrophone = QStringLiteral("No microphone found.");
    for (CaptureMode mode : {CaptureMode::cameraOnly, CaptureMode::short_}) {
        for (const QString& sentence : {noCamera, noMicrophone}) {
            SCOPED_TRACE(CaptureModes::rawText(mode).toStdString() + " " + sentence.toStdString());
            const bool cameraMissing = sentence == noCamera;
            access.cameraState = cameraMissing ? Permissions::State::notAsked : Permissions::State::granted;
            services.cameraList = cameraMissing ? std::vector<CaptureDeviceInfo>{} : std::vector<CaptureDeviceInfo>{listed(*desk)};
            services.microphoneList = cameraMissing ? std::vector<CaptureDeviceInfo>{device(QStringLiteral("mic"))} : std::vector<CaptureDeviceInfo>{};
            controller->refreshDevices();
            controller->setCaptureMode(mode);
            settle();
            controller->setPhase(RecordingPhase::idle());
            QCoro::waitFor(controller->start());
            EXPECT_EQ(failure(), sentence);
        }
        controller->setCaptureMode(CaptureMode::screen);
        settle();
    }
    const QString log = readLog();
    EXPECT_FALSE(log.contains(QStringLiteral("take failed"))) << log.toStdString();
    EXPECT_FALSE(log.contains(noCamera));
    EXPECT_FALSE(log.contains(noMicrophone));
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

// The sound server went away under the numbers, for "Just me" and a short alike: the start ends at once with
// the lost source's reason, never a take filmed with a dead microphone.
TEST_F(CameraOnlyStart, AMicrophoneLostInTheCountdownEndsTheStartAtOnceWithItsReason)
{
    QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
    controller->setCountdownSeconds(3);
    desk->play({{12.0, 0}});
    for (CaptureMode mode : {CaptureMode::cameraOnly, CaptureMode::short_}) {
        SCOPED_TRACE(CaptureModes::rawText(mode).toStdString());
        controller->setCaptureMode(mode);
        // The window's preview keeps the camera warm: the take's devices are ready well before the numbers end.
        controller->setFramingWindowOpen(mode == CaptureMode::cameraOnly);
        controller->setShortWindowOpen(mode == CaptureMode::short_);
        settle();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return recorder().isDelivering(); }, 3000));
        controller->setPhase(RecordingPhase::idle());
        bool done = false;
        QCoro::Task<> starting = startThenMark(*controller, done);
        ASSERT_TRUE(speakUntil([&] { return recorder().hasSoundArrived(); }, 2000));
        // Heard a moment longer: the preparation has ended and only the numbers run.
        QElapsedTimer heard;
        heard.start();
        speakUntil([&] { return heard.elapsed() > 300; }, 1000);
        ASSERT_EQ(controller->phase().kind(), Kind::countingDown);
        const double lost = HostClock::nowSeconds();
        services.cameraOnly.microphone->onFailure(QStringLiteral("the sound source mic stopped"));
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }, 10000));
        EXPECT_LT(HostClock::nowSeconds() - lost, 1.0) << "the numbers end when the sound is lost, not at their end";
        EXPECT_EQ(failure(), QStringLiteral("The microphone stopped before the take began: the sound source mic stopped."));
        EXPECT_FALSE(controller->takeUnderWay());
        EXPECT_FALSE(recorder().hasMicrophone());
        EXPECT_TRUE(recorder().isRunning()) << "the window keeps its preview";
        for (const QString& root : {QStringLiteral("Brain"), QStringLiteral("Recordings/Shorts")})
            EXPECT_TRUE(QDir(path(root)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty()) << "no take folder stays in " << root.toStdString();
    }
    desk->waitForScript();
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
    // A cold camera warms up for up to 3 s first.
    ASSERT_TRUE(startWithTheCameraAlive());
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

namespace {

TEST_F(CameraOnlyStart, ACameraThatGivesNoFrameInItsWarmUpFailsTheStartAtOnce)
{
    // The camera opens and streams, but not one frame comes.
    QCoro::waitFor(controller->start());
    EXPECT_EQ(failure(), QStringLiteral("The camera or microphone would not provide data."));
    EXPECT_TRUE(readLog().contains(QStringLiteral("[camera-only start]")));
    EXPECT_FALSE(controller->takeUnderWay());
    EXPECT_FALSE(controller->takes().isTickerRunning());
    EXPECT_FALSE(recorder().hasMicrophone());
    EXPECT_FALSE(QDir(path(QStringLiteral("Brain"))).exists()) << "no folder is made for a take that cannot film";
    QCoro::waitFor(controller->stop());
    EXPECT_FALSE(controller->phase().isBusy());
}

TEST_F(CameraOnlyStart, AnUnpluggedAndRepluggedCameraUnderTheShortPreviewIsPickedUpAgain)
{
    controller->setCaptureMode(CaptureMode::short_);
    controller->setShortWindowOpen(true);
    settle();
    ASSERT_TRUE(recorder().isRunning());
    desk->play({{0.5, 0}});
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return recorder().isDelivering(); }, 3000));
    desk->waitForScript();

    desk->disconnect();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return readLog().contains(QStringLiteral("framing preview lost its camera")); }, 3000));
    EXPECT_FALSE(recorder().isRunning());
    EXPECT_FALSE(recorder().isDelivering());

    // Plugged in again: a new device under the same name, announced by the device watch.
    const auto back = FakeCameraHub::make({FakeCameraHub::landscape(1280, 720, 30), FakeCameraHub::landscape(1920, 1080, 30)}, QStringLiteral("Desk"));
    services.cameraOnly.replug(back);
    services.announceDeviceChange();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return back->streamStarts() > 0 && recorder().isRunning(); }, 3000));
    EXPECT_EQ(recorder().camera(), back);
    back->play({{12.0, 0}});
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return recorder().isDelivering(); }, 3000));

    // Record films the camera that is back, and the stop finds a take.
    ASSERT_TRUE(startFilming()) << controller->phase().payload().toStdString();
    QElapsedTimer filming;
    filming.start();
    speakUntil([&] { return filming.elapsed() > 1500; }, 3000);
    QCoro::waitFor(controller->stop());
    EXPECT_EQ(controller->phase().kind(), Kind::finished) << controller->phase().payload().toStdString();
    EXPECT_FALSE(readLog().contains(QStringLiteral("nothing was captured")));
    EXPECT_FALSE(controller->takeUnderWay());
    back->waitForScript();
}

TEST_F(CameraOnlyStart, QuittingDuringATakeWhoseRecorderFailsLeavesNothingBehind)
{
    desk->play({{12.0, 0}});
    ASSERT_TRUE(startFilming()) << controller->phase().payload().toStdString();
    ASSERT_TRUE(speakUntil([&] { return readLog().contains(QStringLiteral("camera-only first frame")); }, 8000)) << "the file is open";
    // A backlog for the writer, then a frame of another size: the failure comes on the writer queue while
    // the studio is being torn down.
    const double now = HostClock::now().seconds();
    for (int i = 1; i <= 60; ++i)
        recorder().captureOutput(MediaSample::video(FakeCameraHub::pattern(1920, 1080, i), MediaTime::fromSeconds(now + i / 30.0), MediaTime(1, 30)));
    recorder().captureOutput(MediaSample::video(FakeCameraHub::pattern(640, 360, 0), MediaTime::fromSeconds(now + 2.1), MediaTime(1, 30)));
    controller.reset();
    // The failure was reported during the teardown and reached no take.
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return readLog().contains(QStringLiteral("FATAL: camera-only frame size changed mid-take")); }, 5000));
    QCoreApplication::processEvents();
    desk->waitForScript();
}

} // namespace
