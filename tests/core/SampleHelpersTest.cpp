#include "capture/SampleBufferRetiming.h"
#include "platform/media/ExportGate.h"
#include "platform/media/SampleBufferPump.h"
#include "platform/media/SampleSink.h"
#include "platform/media/SampleSource.h"
#include "platform/system/DispatchQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

MediaSample sampleAt(double seconds)
{
    return MediaSample::video(std::make_shared<PixelBuffer>(2, 2), MediaTime::fromSeconds(seconds, 600), MediaTime(20, 600));
}

TEST(SampleBufferRetimingTest, ShiftsEveryValidTimeAndSharesThePayload)
{
    MediaSample sample = sampleAt(10.0);
    sample.timing.push_back({MediaTime(1, 600), MediaTime::fromSeconds(10.5, 600), MediaTime::fromSeconds(10.4, 600)});
    const auto copy = SampleBufferRetiming::retimed(sample, MediaTime::fromSeconds(9.0, 600));
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->timing.size(), 2u);
    EXPECT_EQ(copy->timing[0].presentationTime, MediaTime::fromSeconds(1.0, 600));
    EXPECT_FALSE(copy->timing[0].decodeTime.isValid()); // invalid stays invalid
    EXPECT_EQ(copy->timing[0].duration, MediaTime(20, 600));
    EXPECT_EQ(copy->timing[1].presentationTime, MediaTime::fromSeconds(1.5, 600));
    EXPECT_EQ(copy->timing[1].decodeTime, MediaTime::fromSeconds(1.4, 600));
    EXPECT_EQ(copy->pixels.get(), sample.pixels.get());
}

TEST(SampleBufferRetimingTest, ASampleWithoutTimingGivesNothing)
{
    MediaSample sample = sampleAt(1.0);
    sample.timing.clear();
    EXPECT_FALSE(SampleBufferRetiming::retimed(sample, MediaTime(1, 1)));
}

class ListSource : public SampleSource {
public:
    explicit ListSource(int count)
    {
        for (int i = 0; i < count; ++i)
            samples.push_back(sampleAt(i / 30.0));
    }
    std::optional<MediaSample> copyNextSample() override
    {
        if (next >= samples.size())
            return std::nullopt;
        return samples[next++];
    }
    std::vector<MediaSample> samples;
    size_t next = 0;
};

// Ready for a few samples at a time, like a writer with a small buffer; can refuse the n-th append.
class RecordingSink : public SampleSink {
public:
    // The pump's future completes inside the queued block, which still reads this sink afterwards.
    ~RecordingSink() override
    {
        if (queue_)
            queue_->sync([] {});
    }
    bool isReadyForMoreMediaData() const override { return readyBudget > 0; }
    bool append(const MediaSample& sample) override
    {
        if (refuseAt >= 0 && static_cast<int>(appended.size()) == refuseAt)
            return false;
        --readyBudget;
        std::lock_guard guard(lock);
        appended.push_back(sample.presentationTime());
        return true;
    }
    void markAsFinished() override { ++finishedCount; }
    void requestMediaDataWhenReady(DispatchQueue& queue, std::function<void()> block) override
    {
        queue_ = &queue;
        block_ = std::move(block);
        schedule();
    }
    void schedule()
    {
        queue_->async([this] {
            readyBudget = 3;
            block_();
            if (finishedCount == 0)
                schedule();
        });
    }
    size_t appendedCount()
    {
        std::lock_guard guard(lock);
        return appended.size();
    }

    std::mutex lock;
    std::vector<MediaTime> appended;
    std::atomic<int> finishedCount{0};
    int readyBudget = 0;
    int refuseAt = -1;
    DispatchQueue* queue_ = nullptr;
    std::function<void()> block_;
};

class SampleBufferPumpTest : public ::testing::Test {
protected:
    ExportGate gate;
    DispatchQueue queue{"com.quorrel.festrin.mixdown.video"};
};

TEST_F(SampleBufferPumpTest, ARefusedAppendEndsThePumpWithoutCallingBackForIt)
{
    ListSource source(10);
    RecordingSink sink;
    sink.refuseAt = 4;
    int calls = 0;
    SampleBufferPump::make(gate)->run(sink, source, queue, [&](const MediaTime&) { ++calls; }).waitForFinished();
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(sink.appendedCount(), 4u);
}

TEST_F(SampleBufferPumpTest, ARaisedGateHoldsTheExportAndLoweringItResumesWithNothingLostOrRepeated)
{
    ListSource source(60);
    RecordingSink sink;
    auto pump = SampleBufferPump::make(gate);
    pump->setGatePollInterval(0.005);
    std::atomic<int> seen{0};
    gate.setPaused(true);
    auto done = pump->run(sink, source, queue, [&](const MediaTime&) { ++seen; });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(seen.load(), 0);
    EXPECT_FALSE(done.isFinished());
    gate.setPaused(false);
    done.waitForFinished();
    ASSERT_EQ(sink.appendedCount(), 60u);
    for (size_t i = 0; i < 60; ++i)
        EXPECT_EQ(sink.appended[i], source.samples[i].presentationTime());
}

} // namespace
