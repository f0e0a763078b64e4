#include "framing/FramingMonitor.h"

#include "FramingCheckSupport.h"
#include "QtPrinters.h"
#include "support/TestEnvironment.h"


#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Returns a fixed reading with a centred face for every frame; can hold an analysis until released.
class FakeAnalyzer : public FramingAnalyzer {
public:
    FakeAnalyzer() : FramingAnalyzer(nullptr) {}

    std::optional<Result> analyze(const PixelBuffer& frame) override
    {
        calls++;
        std::unique_lock guard(lock_);
        running_ = true;
        wake_.notify_all();
        wake_.wait(guard, [this] { return !holding_; });
        running_ = false;
        return centredFaceResult(frame);
    }

    void hold()
    {
        std::lock_guard guard(lock_);
        holding_ = true;
    }
    void release()
    {
        std::lock_guard guard(lock_);
        holding_ = false;
        wake_.notify_all();
    }
    bool waitUntilRunning()
    {
        std::unique_lock guard(lock_);
        return wake_.wait_for(guard, std::chrono::seconds(5), [this] { return running_; });
    }

    std::atomic<int> calls{0};

private:
    std::mutex lock_;
    std::condition_variable wake_;
    bool holding_ = false;
    bool running_ = false;
};

std::shared_ptr<CameraFrameTap> tapWithFrame()
{
    auto tap = std::make_shared<CameraFrameTap>();
    tap->store(std::make_shared<const PixelBuffer>(64, 36));
    return tap;
}

// Counts a signal's emissions.
class SignalCount {
public:
    template <typename Signal>
    SignalCount(FramingMonitor* monitor, Signal signal)
    {
        connection_ = QObject::connect(monitor, signal, [this] { ++count_; });
    }
    ~SignalCount() { QObject::disconnect(connection_); }
    int count() const { return count_; }

private:
    QMetaObject::Connection connection_;
    int count_ = 0;
};

// Runs the event loop for a while.
void spin(int milliseconds) { TestEnvironment::waitUntil([] { return false; }, milliseconds); }

const std::vector<FramingCropSpec> fullFrame{FramingCropSpec::fullFrame()};

class FramingMonitorTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeAnalyzer> analyzer = std::make_shared<FakeAnalyzer>();
    std::unique_ptr<FramingMonitor> monitor = std::make_unique<FramingMonitor>(analyzer);
};

TEST_F(FramingMonitorTest, PublishesTheReportOnlyWhenItChangesAndTheThumbnailEveryPass)
{
    EXPECT_EQ(monitor->report(), FramingReport::idle());
    EXPECT_TRUE(monitor->mirrored());
    SignalCount reports(monitor.get(), &FramingMonitor::reportChanged);
    SignalCount thumbnails(monitor.get(), &FramingMonitor::thumbnailChanged);
    monitor->update(fullFrame, false, tapWithFrame(), false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return analyzer->calls >= 3; }));
    spin(50);
    EXPECT_EQ(reports.count(), 1);
    EXPECT_GE(thumbnails.count(), 2);
    EXPECT_EQ(monitor->report().overall.status, FramingStatus::good);
    EXPECT_EQ(monitor->report().cameraSize, QSizeF(64, 36));
    EXPECT_EQ(monitor->thumbnail().size(), QSize(64, 36));
}

TEST_F(FramingMonitorTest, TapWithoutAFrameStepsWithoutAReading)
{
    SignalCount reports(monitor.get(), &FramingMonitor::reportChanged);
    SignalCount thumbnails(monitor.get(), &FramingMonitor::thumbnailChanged);
    monitor->update(fullFrame, false, std::make_shared<CameraFrameTap>(), false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return thumbnails.count() >= 2; }));
    EXPECT_EQ(analyzer->calls, 0);
    EXPECT_EQ(reports.count(), 0);
    EXPECT_EQ(monitor->report(), FramingReport::idle());
    EXPECT_TRUE(monitor->thumbnail().isNull());
}

TEST_F(FramingMonitorTest, SameTapKeepsTheLoopAndTheCoachUnlessTheSpecsChange)
{
    const auto tap = tapWithFrame();
    monitor->update(fullFrame, false, tap, true);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return monitor->coach().face().has_value(); }));
    const int calls = analyzer->calls;
    // Equal specs, same tap: no restart (a restart would analyse at once), no reset.
    monitor->update(fullFrame, true, tap, true);
    EXPECT_TRUE(monitor->mirrored());
    EXPECT_TRUE(monitor->coach().face());
    spin(150);
    EXPECT_EQ(analyzer->calls, calls);

    // New specs reset the coach even with the same tap.
    SignalCount specs(monitor.get(), &FramingMonitor::specsChanged);
    monitor->update({FramingCropSpec::shape(BubbleShape::circle)}, true, tap, true);
    EXPECT_EQ(specs.count(), 1);
    EXPECT_FALSE(monitor->coach().face());
    EXPECT_TRUE(monitor->isRunning());
}

TEST_F(FramingMonitorTest, AnotherTapRestartsAtOnce)
{
    monitor->update(fullFrame, false, tapWithFrame(), true);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return analyzer->calls >= 1; }));
    spin(50);
    const int calls = analyzer->calls;
    monitor->update(fullFrame, false, tapWithFrame(), true);
    EXPECT_FALSE(monitor->coach().face());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return analyzer->calls > calls; }, 300));
}

TEST_F(FramingMonitorTest, NoSourceStopsPublishesIdleOnceAndAlwaysClearsTheThumbnail)
{
    monitor->update(fullFrame, false, tapWithFrame(), false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !monitor->thumbnail().isNull(); }));
    SignalCount reports(monitor.get(), &FramingMonitor::reportChanged);
    SignalCount thumbnails(monitor.get(), &FramingMonitor::thumbnailChanged);
    monitor->update(fullFrame, false, nullptr, false);
    EXPECT_FALSE(monitor->isRunning());
    EXPECT_EQ(monitor->report(), FramingReport::idle());
    EXPECT_TRUE(monitor->thumbnail().isNull());
    EXPECT_EQ(reports.count(), 1);
    EXPECT_EQ(thumbnails.count(), 1);
    EXPECT_FALSE(monitor->coach().face());

    // Already idle: no report, but the thumbnail is published again.
    monitor->update(fullFrame, false, nullptr, false);
    EXPECT_EQ(reports.count(), 1);
    EXPECT_EQ(thumbnails.count(), 2);
    const int calls = analyzer->calls;
    spin(250);
    EXPECT_EQ(analyzer->calls, calls);
}

TEST_F(FramingMonitorTest, AnalysisFinishingAfterCancelIsNeverPublished)
{
    analyzer->hold();
    monitor->update(fullFrame, false, tapWithFrame(), false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return analyzer->calls >= 1; }));
    ASSERT_TRUE(analyzer->waitUntilRunning());
    monitor->update(fullFrame, false, nullptr, false);
    SignalCount reports(monitor.get(), &FramingMonitor::reportChanged);
    SignalCount thumbnails(monitor.get(), &FramingMonitor::thumbnailChanged);
    analyzer->release();
    spin(300);
    EXPECT_EQ(reports.count(), 0);
    EXPECT_EQ(thumbnails.count(), 0);
    EXPECT_EQ(monitor->report(), FramingReport::idle());
    EXPECT_EQ(analyzer->calls, 1);
}

TEST_F(FramingMonitorTest, SlowingDownKeepsTheLoopAndTheCoach)
{
    const auto tap = tapWithFrame();
    monitor->update(fullFrame, false, tap, false);
    EXPECT_DOUBLE_EQ(monitor->interval(), 0.17);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return analyzer->calls >= 1; }));
    monitor->update(fullFrame, false, tap, true);
    EXPECT_DOUBLE_EQ(monitor->interval(), 0.5);
    EXPECT_TRUE(monitor->coach().face() || analyzer->calls == 1);
}

TEST_F(FramingMonitorTest, ReleasedMonitorPublishesNothingMore)
{
    monitor->update(fullFrame, false, tapWithFrame(), false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return analyzer->calls >= 1; }));
    monitor.reset();
    const int calls = analyzer->calls;
    spin(400);
    EXPECT_EQ(analyzer->calls, calls);
}

TEST(CameraFrameTapTest, NewestFrameReplacesTheOldAndClearing)
{
    CameraFrameTap tap;
    EXPECT_FALSE(tap.newest());
    auto first = std::make_shared<const PixelBuffer>(4, 4);
    auto second = std::make_shared<const PixelBuffer>(8, 8);
    tap.store(first);
    tap.store(second);
    EXPECT_EQ(tap.newest(), second);
    std::weak_ptr<const PixelBuffer> released = first;
    first.reset();
    EXPECT_TRUE(released.expired()); // the tap let go of the replaced frame
    tap.clear();
    EXPECT_FALSE(tap.newest());

    // A capture thread storing while a reader copies: every copy is a whole frame.
    std::atomic<int> reads{0};
    std::thread writer([&] {
        for (int index = 0; reads < 500; ++index) {
            auto frame = std::make_shared<PixelBuffer>(16, 16);
            frame->fill(static_cast<uint8_t>(index), 0, 0, 255);
            tap.store(std::move(frame));
        }
    });
    while (reads < 500) {
        if (const auto frame = tap.newest()) {
            EXPECT_EQ(frame->row(15)[60], frame->row(0)[0]);
            ++reads;
        }
    }
    writer.join();
}

} // namespace
