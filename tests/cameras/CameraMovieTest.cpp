#include "capture/DeviceVideoRecorder.h"
#include "core/RecordingClock.h"
#include "platform/system/Paths.h"
#include "support/FakeCameraHub.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

struct Probe {
    QJsonObject stream;
    QJsonObject format;
    std::vector<double> framePts;
};

// What ffprobe reads from the file: the first video stream, the container, and every packet's time.
std::optional<Probe> probe(const QString& file)
{
    QProcess process;
    process.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
                                                 QStringLiteral("json"), QStringLiteral("-show_streams"), QStringLiteral("-show_format"),
                                                 QStringLiteral("-show_packets"), file});
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return std::nullopt;
    const QJsonObject root = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    Probe result;
    for (const QJsonValue& stream : root[QStringLiteral("streams")].toArray())
        if (stream[QStringLiteral("codec_type")].toString() == QStringLiteral("video")) {
            result.stream = stream.toObject();
            break;
        }
    result.format = root[QStringLiteral("format")].toObject();
    for (const QJsonValue& packet : root[QStringLiteral("packets")].toArray())
        result.framePts.push_back(packet[QStringLiteral("pts_time")].toString().toDouble());
    return result;
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
    const auto result = probe(file);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->stream[QStringLiteral("codec_name")].toString(), QStringLiteral("h264"));
    EXPECT_EQ(result->stream[QStringLiteral("profile")].toString(), QStringLiteral("High"));
    EXPECT_EQ(result->stream[QStringLiteral("has_b_frames")].toInt(), 0);
    EXPECT_EQ(result->stream[QStringLiteral("width")].toInt(), 320);
    EXPECT_EQ(result->stream[QStringLiteral("height")].toInt(), 180);
    ASSERT_EQ(result->framePts.size(), 90u);
    EXPECT_NEAR(result->framePts.front(), 0.0, 1e-3);
    for (size_t i = 1; i < result->framePts.size(); ++i)
        ASSERT_GT(result->framePts[i], result->framePts[i - 1]) << "packet " << i << " out of presentation order";
    EXPECT_NEAR(result->format[QStringLiteral("duration")].toString().toDouble(), 3.0, 0.05);
    const auto spans = recorder.recordedSegments();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(spans[0].end, 89 / 30.0, 1e-6);
}

TEST_F(CameraMovieTest, LateCameraKeepsTakeTimeAndShowsAsTheFirstSpanStart)
{
    frames(101.2, 103.0); // the camera's first picture comes 1.2 s into the take
    ASSERT_EQ(QCoro::waitFor(recorder.stopRecording()), file);
    const auto result = probe(file);
    ASSERT_TRUE(result);
    // The first picture is held from take time 0, so the late frames stay where the take had them.
    ASSERT_EQ(result->framePts.size(), 55u);
    EXPECT_NEAR(result->framePts[0], 0.0, 1e-3);
    EXPECT_NEAR(result->framePts[1], 1.2, 1e-3);
    EXPECT_NEAR(result->framePts.back(), 1.2 + 53 / 30.0, 1e-3);
    const auto spans = recorder.recordedSegments();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(spans[0].start, 1.2, 1e-6);
}

TEST_F(CameraMovieTest, DisconnectMidTakeKeepsThePlayableFile)
{
    frames(100.0, 102.5);
    hub->disconnect();
    EXPECT_FALSE(hub->emitFrame(102.6));
    // Readable before the take is even stopped: the capture file is fragmented.
    TestEnvironment::waitUntil([&] {
        const auto partial = probe(file);
        return partial && partial->framePts.size() >= 30;
    });
    const auto partial = probe(file);
    ASSERT_TRUE(partial);
    EXPECT_GE(partial->framePts.size(), 30u);

    ASSERT_EQ(QCoro::waitFor(recorder.stopRecording()), file);
    const auto result = probe(file);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->framePts.size(), 75u);
    EXPECT_NEAR(result->format[QStringLiteral("duration")].toString().toDouble(), 2.5, 0.05);
    ASSERT_EQ(recorder.recordedSegments().size(), 1u);
}

} // namespace
