#include "capture/DeviceVideoRecorder.h"
#include "platform/system/Paths.h"
#include "support/FakeCameraHub.h"
#include "support/MovieProbe.h"
#include "support/TestEnvironment.h"
#include "takedata/RecordingClock.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

// Every packet's presentation time, in decode order.
std::vector<double> packetTimes(const QJsonObject& probe)
{
    std::vector<double> times;
    for (const QJsonObject& packet : MovieProbe::packetsOf(probe, 0))
        times.push_back(MovieProbe::number(packet, QStringLiteral("pts_time")));
    return times;
}

class CameraMovieTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        file = path(QStringLiteral("camera.mov"));
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            GTEST_SKIP() << "ffprobe is not installed";
        ASSERT_FALSE(recorder.configure(hub, false));
        recorder.startPreview();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return hub->isStreaming(); }));
        clock->begin(MediaTime::fromSeconds(100.0));
        recorder.startRecording(file, clock);
    }

    void frames(double from, double to)
    {
        for (int i = 0; from + i / 30.0 < to - 1e-9; ++i)
            hub->emitFrame(from + i / 30.0);
    }

    std::shared_ptr<FakeCameraHub> hub = FakeCameraHub::make({FakeCameraHub::landscape(320, 180, 30)});
    DeviceVideoRecorder recorder;
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
    QString file;
};

TEST_F(CameraMovieTest, ThreeSecondTakeIsHighProfileH264WithoutReorderingOnTakeTime)
{
    frames(100.0, 103.0);
    ASSERT_EQ(QCoro::waitFor(recorder.stopRecording()), file);
    const QJsonObject probe = MovieProbe::streams(file, true);
    MovieProbe::expectFields(MovieProbe::streamsOfType(probe, QStringLiteral("video")).at(0).toObject(),
        {{"codec_name", "h264"}, {"profile", "High"}, {"has_b_frames", "0"}, {"width", "320"}, {"height", "180"}});
    const auto times = packetTimes(probe);
    ASSERT_EQ(times.size(), 90u);
    EXPECT_NEAR(times.front(), 0.0, 1e-3);
    for (size_t i = 1; i < times.size(); ++i)
        ASSERT_GT(times[i], times[i - 1]) << "packet " << i << " out of presentation order";
    EXPECT_NEAR(MovieProbe::number(probe[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 3.0, 0.05);
    const auto spans = recorder.recordedSegments();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(spans[0].end, 89 / 30.0, 1e-6);
}

TEST_F(CameraMovieTest, DisconnectMidTakeKeepsThePlayableFile)
{
    frames(100.0, 102.5);
    hub->disconnect();
    EXPECT_FALSE(hub->emitFrame(102.6));
    // Readable before the take is even stopped: the capture file is fragmented.
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return packetTimes(MovieProbe::streams(file, true)).size() >= 30; }));
    ASSERT_EQ(QCoro::waitFor(recorder.stopRecording()), file);
    const QJsonObject probe = MovieProbe::streams(file, true);
    EXPECT_EQ(packetTimes(probe).size(), 75u);
    EXPECT_NEAR(MovieProbe::number(probe[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 2.5, 0.05);
    ASSERT_EQ(recorder.recordedSegments().size(), 1u);
}

} // namespace
