// The sound server goes away under a take and its device watch, each on a server of the test's own.
#include "capture/ScreenRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseDeviceMonitor.h"
#include "platform/audio/PulseSystemAudioCapture.h"
#include "support/FakeScreenCapture.h"
#include "support/PrivateSoundServer.h"
#include "support/TestEnvironment.h"
#include "takedata/RecordingClock.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using Kind = PrivateSoundServer::Kind;

class SoundServerGone : public SandboxTest, public ::testing::WithParamInterface<Kind> {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        server = PrivateSoundServer::start(GetParam());
        if (!server)
            GTEST_SKIP() << "a private " << PrivateSoundServer::name(GetParam()) << " server could not start";
    }
    void TearDown() override
    {
        recorder.reset();
        server.reset();
        SandboxTest::TearDown();
    }

    // Real sound sources on the private server, a screen the test drives, and an encoder it can stall.
    void makeRecorder()
    {
        ScreenRecorder::Sources sources;
        sources.screen = std::make_unique<FakeScreenCapture>(screen);
        sources.microphone = std::make_unique<PulseAudioCapture>();
        sources.systemAudio = std::make_unique<PulseSystemAudioCapture>();
        sources.beforePictureEncode = [this] {
            ++picturesAtEncoder;
            while (pictureStalled)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        recorder = std::make_unique<ScreenRecorder>(clock, std::move(sources));
        recorder->onFailure = [this](const ScreenRecorder::RecorderError& error) {
            std::lock_guard guard(failureLock);
            failures.push_back(error);
        };
    }

    static ScreenRecorder::Options options()
    {
        ScreenRecorder::Options o;
        o.display = {1, QStringLiteral("fake"), QRect(0, 0, 320, 180), true};
        o.frameRate = 30;
        o.targetHeight = 1080;
        return o;
    }

    std::vector<ScreenRecorder::RecorderError> reported()
    {
        std::lock_guard guard(failureLock);
        return failures;
    }

    std::unique_ptr<PrivateSoundServer> server;
    std::shared_ptr<FakeScreenCapture::State> screen = std::make_shared<FakeScreenCapture::State>();
    RecordingClock clock;
    std::unique_ptr<ScreenRecorder> recorder;
    std::atomic<int> picturesAtEncoder{0};
    std::atomic<bool> pictureStalled{false};
    std::mutex failureLock;
    std::vector<ScreenRecorder::RecorderError> failures;
};

std::string kindName(const ::testing::TestParamInfo<Kind>& info) { return PrivateSoundServer::name(info.param); }

} // namespace

// The countdown opened the sound; the server died before the numbers ran out. The start says so instead of
// filming a take whose sound streams are dead.
TEST_P(SoundServerGone, killedInTheCountdownTheStartFailsWithTheLostSource)
{
    makeRecorder();
    ASSERT_FALSE(recorder->prepare(options()));
    server->kill();
    // The loss has reached the recorder (the take drops the report: it is not rolling yet).
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !reported().empty(); }, 5000));

    const QString raw = path(QStringLiteral("raw.mov"));
    const auto error = recorder->start(options(), raw);
    ASSERT_TRUE(error) << "the take started with dead sound streams";
    EXPECT_EQ(error->kind(), ScreenRecorder::RecorderError::Kind::captureFailed);
    EXPECT_TRUE(error->errorDescription().startsWith(QStringLiteral("Capture could not start: the sound source "))) << error->errorDescription().toStdString();
    EXPECT_TRUE(error->errorDescription().endsWith(QStringLiteral(" stopped"))) << error->errorDescription().toStdString();
    FakeScreenCapture::push(*screen, 100.0);
    EXPECT_FALSE(QFileInfo::exists(raw));
}

// The picture encoder is stuck on a picture with more waiting behind it, as on a machine that cannot keep
// up: the lost sound still reaches the take at once, not after the writer's backlog.
TEST_P(SoundServerGone, killedWhileTheWriterIsBehindTheLossIsReportedAtOnce)
{
    makeRecorder();
    const QString raw = path(QStringLiteral("raw.mov"));
    ASSERT_FALSE(recorder->start(options(), raw));
    pictureStalled = true;
    for (int i = 0; i < 8; ++i)
        FakeScreenCapture::push(*screen, 100.0 + i / 30.0);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return picturesAtEncoder >= 1; }, 5000));
    server->kill();
    const bool heard = TestEnvironment::waitUntil([&] { return !reported().empty(); }, 5000);
    pictureStalled = false;
    ASSERT_TRUE(heard) << "the lost sound waited behind the writer's pictures";
    const auto failure = reported().front();
    EXPECT_EQ(failure.kind(), ScreenRecorder::RecorderError::Kind::sourceStopped);
    EXPECT_TRUE(failure.errorDescription().startsWith(QStringLiteral("the sound source "))) << failure.errorDescription().toStdString();
    auto stopping = recorder->stop();
    stopping.waitForFinished();
    EXPECT_EQ(stopping.result().url, raw);
}

// The server restarts; a microphone plugged in after that is still heard by the device watch.
TEST_P(SoundServerGone, theDeviceWatchHearsADeviceThatAppearsAfterARestart)
{
    PulseDeviceMonitor monitor;
    ASSERT_TRUE(monitor.isActive());
    int changes = 0;
    QObject::connect(&monitor, &PulseDeviceMonitor::devicesChanged, [&] { ++changes; });
    ASSERT_TRUE(server->pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=before_restart")}));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return changes > 0; }, 5000)) << "the watch never heard the server";

    server->kill();
    TestEnvironment::waitUntil([] { return false; }, 300);
    ASSERT_TRUE(server->restart());
    // Long enough for the watch to look for the server again.
    TestEnvironment::waitUntil([] { return false; }, 2 * PulseDeviceMonitor::reconnectMilliseconds + 500);
    changes = 0;
    ASSERT_TRUE(server->pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=usb_headset")}));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return changes > 0; }, 5000)) << "a device that came after the restart went unheard";
    EXPECT_TRUE(monitor.isActive());
}

INSTANTIATE_TEST_SUITE_P(Servers, SoundServerGone, ::testing::Values(Kind::pulseAudio, Kind::pipeWire), kindName);
