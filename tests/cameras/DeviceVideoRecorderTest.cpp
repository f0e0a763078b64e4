#include "capture/DeviceVideoRecorder.h"
#include "support/FakeCameraHub.h"
#include "support/ManualClock.h"
#include "support/TestEnvironment.h"
#include "takedata/CameraFrameTap.h"
#include "takedata/RecordingClock.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

namespace {

// Records what the recorder asks of its movie file.
struct WriterLog {
    std::mutex lock;
    std::vector<double> appended; // presentation seconds as written
    std::vector<QString> paths;
    std::vector<DeviceVideoRecorder::MovieSettings> settings;
    MediaTime sessionStart;
    int finishes = 0;
    std::atomic<bool> refuseCreate{false};
    std::atomic<bool> refuseStart{false};
    std::atomic<int> refuseAppendsAfter{-1};
    std::atomic<bool> ready{true};
};

class FakeWriter final : public DeviceVideoRecorder::Writer {
public:
    FakeWriter(std::shared_ptr<WriterLog> log, QString path) : log_(std::move(log)), path_(std::move(path)) {}
    bool startWriting() override
    {
        writing_ = !log_->refuseStart.load();
        return writing_;
    }
    bool isWriting() const override { return writing_; }
    void startSession(const MediaTime& time) override { log_->sessionStart = time; }
    bool isReadyForMoreMediaData() const override { return log_->ready.load(); }
    bool append(const MediaSample& sample) override
    {
        std::lock_guard guard(log_->lock);
        const int limit = log_->refuseAppendsAfter.load();
        if (limit >= 0 && static_cast<int>(log_->appended.size()) >= limit)
            return false;
        log_->appended.push_back(sample.presentationTime().seconds());
        return true;
    }
    bool finish() override
    {
        ++log_->finishes;
        writing_ = false;
        return true;
    }
    std::optional<QString> location() const override { return path_; }
    QString errorText() const override { return QStringLiteral("disk said no"); }

private:
    std::shared_ptr<WriterLog> log_;
    QString path_;
    bool writing_ = false;
};

class DeviceVideoRecorderTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        makeRecorder();
    }

    void makeRecorder()
    {
        hub = FakeCameraHub::make();
        writers = std::make_shared<WriterLog>();
        recorder = std::make_unique<DeviceVideoRecorder>([log = writers](const QString& path, const DeviceVideoRecorder::MovieSettings& s,
                                                             QString& error) -> std::unique_ptr<DeviceVideoRecorder::Writer> {
            if (log->refuseCreate.load()) {
                error = QStringLiteral("no space left");
                return nullptr;
            }
            std::lock_guard guard(log->lock);
            log->paths.push_back(path);
            log->settings.push_back(s);
            return std::make_unique<FakeWriter>(log, path);
        });
        recorder->onWarning = [this](const DeviceVideoRecorder::RecorderError& error) {
            std::lock_guard guard(warningLock);
            warnings.push_back(error.description());
        };
    }

    void attachAndPreview()
    {
        ASSERT_FALSE(recorder->configure(hub, false));
        recorder->startPreview();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return hub->isStreaming(); }));
    }

    // Starts a take whose zero is host time `zero`.
    void startTake(double zero = 100.0)
    {
        clock = std::make_shared<RecordingClock>();
        clock->begin(MediaTime::fromSeconds(zero));
        recorder->startRecording(path(QStringLiteral("camera.mov")), clock);
    }

    void frames(double from, double to, double rate = 30.0)
    {
        for (int i = 0; from + i / rate <= to + 1e-9; ++i)
            hub->emitFrame(from + i / rate);
    }

    std::optional<QString> stop() { return QCoro::waitFor(recorder->stopRecording()); }

    std::shared_ptr<FakeCameraHub> hub = FakeCameraHub::make();
    std::shared_ptr<WriterLog> writers = std::make_shared<WriterLog>();
    std::unique_ptr<DeviceVideoRecorder> recorder;
    std::shared_ptr<RecordingClock> clock;
    std::mutex warningLock;
    std::vector<QString> warnings;
};

void expectSegments(const std::vector<ClipSegment>& actual, const std::vector<ClipSegment>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].start, expected[i].start, 1e-6) << "segment " << i;
        EXPECT_NEAR(actual[i].end, expected[i].end, 1e-6) << "segment " << i;
    }
}

// Frame times (host seconds; the take's zero is 100) and the spans they leave.
TEST_F(DeviceVideoRecorderTest, SpansFollowTheFramesWritten)
{
    struct Case {
        const char* name;
        std::vector<double> frames;
        std::vector<ClipSegment> spans;
        size_t written;
        double secondWritten; // take time of the second picture written
    };
    std::vector<double> stall, late;
    for (int i = 0; i <= 30; ++i)
        stall.push_back(100.0 + i / 30.0);
    for (int i = 0; i <= 9; ++i)
        stall.push_back(101.7 + i / 30.0); // after 0.7 s of silence
    for (int i = 0; i <= 30; ++i)
        late.push_back(103.0 + i / 30.0);
    const std::vector<Case> cases {
        {"a stall longer than half a second splits the span", stall, {{0.0, 1.0}, {1.7, 2.0}}, 41, 1.0 / 30},
        {"gaps up to half a second stay in one span", {100.0, 100.4, 100.8, 101.3, 101.9}, {{0.0, 1.3}, {1.9, 1.9}}, 5, 0.4},
        // The first picture is also held from 0 so the file keeps take time.
        {"a late camera starts its span late but the movie at zero", late, {{3.0, 4.0}}, 32, 3.0},
        {"a repeated or older take time is written once", {100.0, 100.1, 100.1, 100.05, 100.2}, {{0.0, 0.2}}, 3, 0.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeRecorder();
        attachAndPreview();
        hub->emitFrame(99.5); // before the take clock's zero: not part of the take
        startTake();
        for (double t : c.frames)
            hub->emitFrame(t);
        ASSERT_EQ(stop(), path(QStringLiteral("camera.mov")));
        expectSegments(recorder->recordedSegments(), c.spans);
        EXPECT_EQ(writers->sessionStart, MediaTime::zero());
        EXPECT_EQ(writers->finishes, 1);
        ASSERT_EQ(writers->appended.size(), c.written);
        EXPECT_EQ(writers->appended[0], 0.0);
        EXPECT_NEAR(writers->appended[1], c.secondWritten, 1e-6);
    }
}

TEST_F(DeviceVideoRecorderTest, ExistingFileIsKeptAndTheTakeGoesBesideIt)
{
    QFile existing(path(QStringLiteral("camera.mov")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("earlier footage");
    existing.close();
    attachAndPreview();
    startTake();
    frames(100.0, 100.2);
    EXPECT_EQ(stop(), path(QStringLiteral("camera (2).mov")));
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("earlier footage"));
    EXPECT_TRUE(readLog().contains(QStringLiteral("camera.mov already exists, writing camera (2).mov")));
}

} // namespace
