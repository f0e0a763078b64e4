// The camera-only writer on synthetic samples and a hand-driven clock: the start gate, the timestamp guards,
// what a failure keeps and what a stop leaves.
#include "capture/CameraOnlyRecorder.h"
#include "support/FakeCameraHub.h"
#include "support/ManualClock.h"
#include "support/MovieProbe.h"
#include "support/TestEnvironment.h"
#include "takedata/RecordingClock.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <qcorotask.h>

#include <gtest/gtest.h>

#include <cmath>
#include <variant>

namespace {

constexpr double t0 = 1000.0; // capture seconds where every case starts

// Capture time `offset` seconds after t0, rounded once to whole nanoseconds so differences are exact.
MediaTime at(double offset) { return MediaTime::fromNanoseconds(1'000'000'000'000LL + std::llround(offset * 1e9)); }

MediaSample frame(double offset, int width = 64, int height = 36)
{
    return MediaSample::video(FakeCameraHub::pattern(width, height, 0), at(offset), MediaTime(1, 30));
}

// 1/30 s of a quiet tone-free level, mono 48 kHz.
MediaSample block(double offset)
{
    auto audio = std::make_shared<AudioBlock>();
    audio->sampleRate = 48000;
    audio->channels = 1;
    audio->samples.assign(1600, 0.25f);
    return MediaSample::sound(std::move(audio), at(offset));
}

class CameraOnlyWriterTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        camera = FakeCameraHub::make({FakeCameraHub::landscape(64, 36, 30)});
        CameraOnlyRecorder::Sources sources;
        sources.openCamera = [this](const QString&) -> std::variant<std::shared_ptr<CameraHub>, CameraHub::Error> { return camera; };
        recorder = std::make_unique<CameraOnlyRecorder>(std::move(sources));
        recorder->setOnFailure([this](const CameraOnlyRecorder::Failure& failure) { failures.push_back(failure); });
        ASSERT_FALSE(recorder->configurePreview(camera->uniqueID(), false));
        movie = path(QStringLiteral("final.mov"));
    }

    void arm() { ASSERT_FALSE(recorder->startRecording(movie, take)); }
    void video(double offset) { recorder->captureOutput(frame(offset)); }
    void sound(double offset) { recorder->captureOutput(block(offset)); }
    // Frames every 1/30 s over [from, to) after t0, each with its block of sound.
    void film(double from, double to)
    {
        for (long i = std::lround(from * 30); i < std::lround(to * 30); ++i) {
            sound(i / 30.0);
            video(i / 30.0);
        }
    }
    std::optional<QString> stop() { return QCoro::waitFor(recorder->stopRecording()); }
    QStringList gateLines()
    {
        recorder->drainForTesting();
        QStringList lines;
        for (const QString& line : readLog().split(QLatin1Char('\n')))
            if (line.contains(QStringLiteral("camera-only gate")))
                lines << line.section(QStringLiteral("  "), 1);
        return lines;
    }

    ManualClock clock{t0};
    std::shared_ptr<FakeCameraHub> camera;
    std::unique_ptr<CameraOnlyRecorder> recorder;
    std::shared_ptr<RecordingClock> take = std::make_shared<RecordingClock>();
    std::vector<CameraOnlyRecorder::Failure> failures;
    QString movie;
};

// Each case: the samples in order (frames "v", sound "a", wall-clock advance "w"), then the gate's lines.
struct GateCase {
    const char* name;
    std::vector<std::pair<char, double>> steps;
    QStringList lines;
};

TEST_F(CameraOnlyWriterTest, StartGateSkipsUntilASteadyFrameAgreesWithTheMicrophone)
{
    const std::vector<GateCase> cases = {
        {"settling, then two close frames near the microphone",
            {{'a', 0.0}, {'v', 0.0}, {'v', 0.2}, {'v', 0.39}, {'v', 0.4}},
            {"camera-only gate: skipped leading frame 1: camera settling after the session change",
                "camera-only gate: skipped leading frame 2: camera settling after the session change",
                "camera-only gate: skipped leading frame 3: camera settling after the session change",
                "camera-only gate: skipped 3 leading frames, anchoring at pts 1000.400 (audio 1000.000)"}},
        {"a lone frame waits for a second close one",
            {{'a', 0.0}, {'v', 0.0}, {'v', 0.9}, {'v', 1.0}},
            {"camera-only gate: skipped leading frame 1: camera settling after the session change",
                "camera-only gate: skipped leading frame 2: waiting for a second close frame",
                "camera-only gate: skipped 2 leading frames, anchoring at pts 1001.000 (audio 1000.000)"}},
        {"a frame 2.5 s from the microphone",
            {{'a', -2.1}, {'v', 0.0}, {'v', 0.4}},
            {"camera-only gate: skipped leading frame 1: camera settling after the session change",
                "camera-only gate: skipped leading frame 2: pts 1000.400 vs audio 997.900"}},
        {"no microphone: wait 3 s of wall clock, then two close frames",
            {{'v', 0.0}, {'v', 0.5}, {'w', 3.0}, {'v', 3.0}, {'v', 3.1}},
            {"camera-only gate: skipped leading frame 1: camera settling after the session change",
                "camera-only gate: skipped leading frame 2: no audio yet",
                "camera-only gate: skipped leading frame 3: no audio, waiting for a second close frame",
                "camera-only gate: skipped 3 leading frames, anchoring at pts 1003.100 (audio -1.000)"}},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh recorder and take clock per case: the newest microphone time outlives a take on purpose.
        SetUp();
        take = std::make_shared<RecordingClock>();
        arm();
        for (const auto& [kind, offset] : c.steps) {
            if (kind == 'w') {
                recorder->drainForTesting(); // the frames before it are judged at the earlier wall time
                clock.advance(offset);
            }
            else if (kind == 'a')
                sound(offset);
            else
                video(offset);
        }
        EXPECT_EQ(gateLines().join(QLatin1Char('\n')).toStdString(), c.lines.join(QLatin1Char('\n')).toStdString());
        stop();
        recorder.reset();
        TearDown();
    }
}

TEST_F(CameraOnlyWriterTest, TheGateFrameIsTakeTimeZeroAndEarlierSoundIsDropped)
{
    arm();
    sound(-0.5);
    film(0.0, 2.0);
    ASSERT_EQ(stop(), movie);
    const QJsonObject probe = MovieProbe::streams(movie, true);
    const QJsonObject video = MovieProbe::streamsOfType(probe, QStringLiteral("video")).at(0).toObject();
    const QJsonObject audio = MovieProbe::streamsOfType(probe, QStringLiteral("audio")).at(0).toObject();
    MovieProbe::expectFields(video, {{"codec_name", "h264"}, {"profile", "High"}, {"width", "64"}, {"height", "36"}});
    MovieProbe::expectFields(audio, {{"codec_name", "aac"}, {"sample_rate", "48000"}, {"channels", "1"}});
    const std::vector<QJsonObject> packets = MovieProbe::packetsOf(probe, video.value(QStringLiteral("index")).toInt());
    ASSERT_FALSE(packets.empty());
    EXPECT_DOUBLE_EQ(MovieProbe::number(packets.front(), QStringLiteral("pts_time")), 0.0);
    // The file starts at the frame that opened the gate (0.4 s in): 1.6 s of picture.
    EXPECT_NEAR(MovieProbe::number(video, QStringLiteral("duration")), 1.6, 0.05);
    EXPECT_GE(MovieProbe::number(audio, QStringLiteral("start_time")), 0.0);
}

TEST_F(CameraOnlyWriterTest, TimestampGuardsDropRepeatsWriteAFiveSecondJumpAndEndOnALongerOne)
{
    arm();
    film(0.0, 1.0);
    video(29 / 30.0); // the same take time as the last frame
    video(29 / 30.0 + 5.0); // exactly 5.0 s after the last written frame
    recorder->drainForTesting();
    EXPECT_TRUE(failures.empty());
    video(29 / 30.0 + 5.0 + 5.01);
    video(29 / 30.0 + 5.0 + 10.5); // after the failure: ignored, no second report
    recorder->drainForTesting();
    const QString log = readLog();
    EXPECT_TRUE(log.contains(QRegularExpression(QStringLiteral("dropped a non-advancing camera sample \\(0\\.5\\d{3}s after 0\\.5\\d{3}s\\)"))));
    EXPECT_TRUE(log.contains(QStringLiteral("FATAL: camera-only camera timestamps jumped 5.0 s mid-take — stopped instead of writing a broken file")));
    EXPECT_EQ(log.count(QStringLiteral("FATAL: camera-only")), 1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].keptFile, movie);
    EXPECT_NEAR(failures[0].keptSeconds, 5.567, 0.001);
    EXPECT_EQ(failures[0].error.description().left(31), QStringLiteral("Could not write the recording: "));
    // The kept file is a finished movie that ends at the last good frame.
    const QJsonObject probe = MovieProbe::streams(movie);
    EXPECT_NEAR(MovieProbe::number(probe.value(QStringLiteral("format")).toObject(), QStringLiteral("duration")), 5.6, 0.1);
    EXPECT_EQ(stop(), std::nullopt);
    EXPECT_TRUE(QFileInfo::exists(movie));
}

TEST_F(CameraOnlyWriterTest, AFrameOfAnotherSizeEndsTheTakeKeepingWhatWasWritten)
{
    arm();
    film(0.0, 1.0);
    recorder->captureOutput(frame(1.0, 32, 18));
    recorder->drainForTesting();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].error.detail, QStringLiteral("frame size changed mid-take: 32x18 vs 64x36"));
    EXPECT_EQ(failures[0].keptFile, movie);
    EXPECT_FALSE(MovieProbe::streams(movie).isEmpty());
}

TEST_F(CameraOnlyWriterTest, AStopWithTheGateShutLeavesNoFileAndASecondStopReturnsNothing)
{
    arm();
    sound(0.0);
    video(0.0);
    video(0.2);
    EXPECT_EQ(stop(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(movie));
    EXPECT_EQ(stop(), std::nullopt);
    EXPECT_TRUE(failures.empty());
}

TEST_F(CameraOnlyWriterTest, ArmingNeverReplacesAFileAlreadyThere)
{
    QFile existing(movie);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("an earlier take");
    existing.close();
    const auto refused = recorder->startRecording(movie, take);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->description(), QStringLiteral("Could not write the recording: a file already exists at final.mov"));
    EXPECT_EQ(QFileInfo(movie).size(), 15);
}

TEST_F(CameraOnlyWriterTest, ErrorTextsAndPixelFormats)
{
    EXPECT_EQ(CameraOnlyRecorder::describe(std::nullopt), QStringLiteral("no writer error"));
    EXPECT_EQ(CameraOnlyRecorder::describe(ErrorInfo{QStringLiteral("Media"), -28, QStringLiteral("No space left on device")}),
        QStringLiteral("[Media -28] No space left on device reason=- userInfo={}"));
    EXPECT_EQ(CameraOnlyRecorder::fourCC(0x42475241), QStringLiteral("BGRA"));
    EXPECT_EQ(CameraOnlyRecorder::fourCC(0x00000020), QStringLiteral("32"));
}

} // namespace
