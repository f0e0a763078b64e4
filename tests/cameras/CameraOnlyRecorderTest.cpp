// The camera-only recorder's devices on fakes: format profiles, keeping or rebuilding the camera, mirroring,
// and what reaches the tap.
#include "capture/CameraOnlyRecorder.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeCameraHub.h"
#include "support/TestEnvironment.h"
#include "takedata/CameraFrameTap.h"
#include "takedata/RecordingClock.h"

#include <qcorotask.h>

#include <gtest/gtest.h>

#include <atomic>
#include <variant>

namespace {

using Format = CameraHub::Format;
using Rule = CameraOnlyRecorder::FormatRule;

Format at(int width, int height, double rate = 30) { return FakeCameraHub::landscape(width, height, rate); }

TEST(CameraOnlyFormatTest, EachProfileChoosesItsFormat)
{
    const std::vector<Format> webcam = {at(640, 480), at(1280, 720), at(1920, 1080), at(3840, 2160)};
    const std::vector<Format> tall = {at(1280, 720), at(1920, 1080), at(1920, 1440), at(1920, 1920, 15)};
    const std::vector<Format> oddShapes = {at(640, 480), at(800, 600)};
    const std::vector<Format> slow = {at(1280, 720, 15)};
    // Cheap webcams: 1080p only at 5 fps over USB 2, 720p at 30.
    const std::vector<Format> slowFullHD = {at(640, 360), at(1920, 1080, 5), at(1280, 720), at(960, 540)};
    const std::vector<Format> allSlow = {at(1280, 720, 10), at(1920, 1080, 5)};
    const std::vector<Format> onlySixty = {at(1920, 1080, 60), at(1280, 720, 15)};
    struct Case {
        const char* name;
        const std::vector<Format>& formats;
        bool shortProfile;
        std::optional<int> cap;
        Rule rule;
        std::optional<size_t> index;
    };
    const std::vector<Case> cases = {
        {"just me, best: the largest 16:9 format up to 1920 wide", webcam, false, std::nullopt, Rule::highPreset, 2},
        {"just me, 720p cap", webcam, false, 720, Rule::cappedFormat, 1},
        {"just me, 1080p cap", webcam, false, 1080, Rule::cappedFormat, 2},
        {"just me, a 1920-wide tall format", tall, false, std::nullopt, Rule::tallFormat, 3},
        {"just me, no 16:9 format: unchanged", oddShapes, false, std::nullopt, Rule::highPreset, std::nullopt},
        {"just me, 1080p at 5 fps loses to 720p at 30", slowFullHD, false, std::nullopt, Rule::highPreset, 2},
        {"just me, nothing at 30 fps: the widest", allSlow, false, std::nullopt, Rule::highPreset, 1},
        {"just me, a 60-only format cannot hold 30: the widest still", onlySixty, false, std::nullopt, Rule::highPreset, 0},
        {"short: tallest landscape at 30 fps", tall, true, std::nullopt, Rule::shortFormat, 2},
        {"short under a 720p cap", webcam, true, 720, Rule::shortFormat, 1},
        {"short with nothing at 30 fps", slow, true, std::nullopt, Rule::shortFormat, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto choice = CameraOnlyRecorder::chooseFormat(c.formats, c.shortProfile, c.cap);
        EXPECT_EQ(choice.rule, c.rule);
        EXPECT_EQ(choice.index, c.index);
    }
    EXPECT_EQ(CameraOnlyRecorder::setupKey(QStringLiteral("/dev/video0"), false, std::nullopt), QStringLiteral("/dev/video0|false|0"));
    EXPECT_EQ(CameraOnlyRecorder::setupKey(QStringLiteral("/dev/video0"), true, 720), QStringLiteral("/dev/video0|true|720"));
}

class CameraOnlyRecorderTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        CameraOnlyRecorder::Sources sources;
        sources.openCamera = [this](const QString& id) -> std::variant<std::shared_ptr<CameraHub>, CameraHub::Error> {
            ++opens;
            if (id == first->uniqueID())
                return first;
            if (id == second->uniqueID())
                return second;
            return CameraHub::Error{CameraHub::Error::Code::cannotOpen, QStringLiteral("no such camera")};
        };
        sources.makeMicrophone = [this] { return std::make_unique<FakeAudioCapture>(microphone); };
        recorder = std::make_unique<CameraOnlyRecorder>(std::move(sources));
    }
    void TearDown() override
    {
        recorder.reset();
        SandboxTest::TearDown();
    }

    std::shared_ptr<FakeCameraHub> first = FakeCameraHub::make({at(1280, 720), at(1920, 1080)}, QStringLiteral("Desk"));
    std::shared_ptr<FakeCameraHub> second = FakeCameraHub::make({at(640, 360)}, QStringLiteral("Other"));
    std::shared_ptr<FakeAudioCapture::State> microphone = std::make_shared<FakeAudioCapture::State>();
    std::unique_ptr<CameraOnlyRecorder> recorder;
    int opens = 0;
    const CameraOnlyRecorder::Microphone mic{QStringLiteral("mic.1"), QStringLiteral("Desk Mic")};
};

TEST_F(CameraOnlyRecorderTest, ATakeOnTheRunningPreviewKeepsTheCameraAndAddsTheMicrophone)
{
    ASSERT_FALSE(recorder->configurePreview(first->uniqueID(), true));
    recorder->startPreview();
    EXPECT_EQ(recorder->frameSize(), QSize(1920, 1080));
    EXPECT_FALSE(recorder->hasMicrophone());

    ASSERT_FALSE(recorder->configure(first->uniqueID(), mic, true));
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(recorder->hasMicrophone());
    EXPECT_EQ(microphone->request.channels, 1);
    EXPECT_EQ(microphone->request.sampleRate, 48000);
    EXPECT_EQ(microphone->request.sourceName, QStringLiteral("mic.1"));
    EXPECT_TRUE(readLog().contains(QStringLiteral("camera-only: camera already running, keeping it (no reconfigure at Record)")));

    // Another cap, profile or camera rebuilds.
    recorder->maxHeight = 720;
    ASSERT_FALSE(recorder->configure(first->uniqueID(), mic, true));
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(recorder->frameSize(), QSize(1280, 720));
    EXPECT_TRUE(readLog().contains(QStringLiteral("just me format: 1280x720 (cap 720p) on Desk")));
    recorder->startPreview();
    ASSERT_FALSE(recorder->configure(second->uniqueID(), mic, true));
    EXPECT_EQ(opens, 3);
    EXPECT_EQ(readLog().count(QStringLiteral("keeping it")), 1);
}

// The sound server went away: before the take its start is refused with the reason, during it the take ends.
TEST_F(CameraOnlyRecorderTest, AMicrophoneThatStopsRefusesTheTakeAheadOfItAndEndsTheTakeDuringIt)
{
    std::vector<CameraOnlyRecorder::Failure> failures;
    recorder->setOnFailure([&](const CameraOnlyRecorder::Failure& failure) { failures.push_back(failure); });
    const auto clock = std::make_shared<RecordingClock>();
    ASSERT_FALSE(recorder->configure(first->uniqueID(), mic, false));
    ASSERT_TRUE(microphone->onFailure) << "nothing hears the microphone stop";
    microphone->onFailure(QStringLiteral("the sound source mic.1 stopped"));
    const auto refused = recorder->startRecording(path(QStringLiteral("ahead.mov")), clock);
    ASSERT_TRUE(refused) << "the take armed with a dead microphone";
    EXPECT_EQ(refused->description(), QStringLiteral("The microphone stopped before the take began: the sound source mic.1 stopped."));

    // Opened afresh, it records; stopping during the take ends the take.
    ASSERT_FALSE(recorder->configure(first->uniqueID(), mic, false));
    ASSERT_FALSE(recorder->startRecording(path(QStringLiteral("during.mov")), clock));
    microphone->onFailure(QStringLiteral("the sound source mic.1 stopped"));
    recorder->drainForTesting();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].error.detail, QStringLiteral("the sound source mic.1 stopped"));
    EXPECT_EQ(QCoro::waitFor(recorder->stopRecording()), std::nullopt);
}

TEST_F(CameraOnlyRecorderTest, ACameraThatCannotBeOpenedOrAMicrophoneThatRefusesIsAnError)
{
    const auto missing = recorder->configurePreview(QStringLiteral("gone"), false);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->description, CameraHub::Error({CameraHub::Error::Code::cannotOpen, QStringLiteral("no such camera")}).description());
    EXPECT_FALSE(recorder->isRunning());
    microphone->startError = QStringLiteral("source busy");
    const auto refused = recorder->configure(first->uniqueID(), mic, false);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->description, QStringLiteral("The camera or microphone could not be opened."));
    EXPECT_FALSE(recorder->hasMicrophone());
}

TEST_F(CameraOnlyRecorderTest, TheFileFollowsThePreviewUnlessOverridden)
{
    ASSERT_FALSE(recorder->configurePreview(first->uniqueID(), true));
    EXPECT_TRUE(recorder->fileMirrored());
    EXPECT_TRUE(recorder->previewMirrored());
    EXPECT_FALSE(recorder->previewFlipsTap());
    recorder->fileMirrorOverride = false;
    recorder->setMirrored(true);
    EXPECT_FALSE(recorder->fileMirrored());
    EXPECT_TRUE(recorder->previewMirrored());
    EXPECT_TRUE(recorder->previewFlipsTap());
    // The short viewer showing the file's side needs no flip.
    recorder->setPreviewDisplayMirrored(false);
    EXPECT_FALSE(recorder->previewFlipsTap());
    EXPECT_EQ(recorder->rotationAngle(), 0);
}

TEST_F(CameraOnlyRecorderTest, FramesReachTheTapUntilThePreviewStopsAndEmptySamplesReachNothing)
{
    ASSERT_FALSE(recorder->configurePreview(first->uniqueID(), false));
    recorder->captureOutput(MediaSample::video(std::make_shared<PixelBuffer>(0, 0), MediaTime::fromSeconds(1)));
    recorder->drainForTesting();
    EXPECT_EQ(recorder->frameTap()->newest(), nullptr);
    recorder->captureOutput(MediaSample::video(FakeCameraHub::pattern(64, 36, 1), MediaTime::fromSeconds(1)));
    recorder->drainForTesting();
    EXPECT_NE(recorder->frameTap()->newest(), nullptr);
    recorder->stopPreview(); // never started: the tap still empties at once
    EXPECT_EQ(recorder->frameTap()->newest(), nullptr);
}

TEST_F(CameraOnlyRecorderTest, RunningMeansFramesArriveAndALostCameraIsReportedOnceAndNotKept)
{
    std::atomic<int> lost{0};
    recorder->onStreamLost = [&lost] { ++lost; };
    ASSERT_FALSE(recorder->configurePreview(first->uniqueID(), false));
    recorder->startPreview();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return first->streamStarts() == 1; }, 2000));
    EXPECT_TRUE(recorder->isRunning());
    EXPECT_FALSE(recorder->isDelivering()) << "no frame yet";
    ASSERT_TRUE(first->emitFrame(1.0));
    EXPECT_TRUE(recorder->isDelivering());

    first->disconnect();
    EXPECT_EQ(lost.load(), 1);
    EXPECT_FALSE(recorder->isRunning());
    EXPECT_FALSE(recorder->isDelivering());
    // A take on the lost camera opens it again rather than keeping a stream that is gone.
    ASSERT_TRUE(recorder->configure(first->uniqueID(), mic, false)) << "the same hub is gone for good";
    EXPECT_EQ(opens, 2);
    EXPECT_FALSE(readLog().contains(QStringLiteral("keeping it")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("camera-only: the stream stopped: the camera was disconnected")));

    // A working camera configured afresh runs again.
    ASSERT_FALSE(recorder->configurePreview(second->uniqueID(), false));
    recorder->startPreview();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return recorder->isRunning() && second->streamStarts() == 1; }, 2000));
    EXPECT_EQ(lost.load(), 1);
    recorder.reset();
}

} // namespace
