#include "platform/video/CameraHubRegistry.h"
#include "support/FakeCameraHub.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

struct Collector {
    std::mutex lock;
    std::vector<int64_t> counters;
    std::vector<const PixelBuffer*> payloads;
    int disconnects = 0;
    bool mirrored = false;

    CameraHub::Handlers handlers()
    {
        return {[this](const MediaSample& sample) {
                    std::lock_guard guard(lock);
                    counters.push_back(FakeCameraHub::readCounter(*sample.pixels, mirrored));
                    payloads.push_back(sample.pixels.get());
                },
            [this] {
                std::lock_guard guard(lock);
                ++disconnects;
            }};
    }
};

// A hub with two subscriptions, not yet started.
class CameraHubTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeCameraHub> hub = FakeCameraHub::make();
    Collector first, second;
    std::unique_ptr<CameraHub::Subscription> a = hub->subscribe(first.handlers());
    std::unique_ptr<CameraHub::Subscription> b = hub->subscribe(second.handlers());
};

TEST_F(CameraHubTest, TwoSubscribersBothGetEveryFrameInOrder)
{
    ASSERT_TRUE(a->start());
    ASSERT_TRUE(b->start());
    hub->play({{0.5, 0.0}});
    hub->waitForScript();
    const int64_t delivered = hub->framesDelivered();
    ASSERT_GE(delivered, 14);
    std::vector<int64_t> expected(delivered);
    for (int64_t i = 0; i < delivered; ++i)
        expected[i] = i;
    EXPECT_EQ(first.counters, expected);
    EXPECT_EQ(second.counters, expected);
    // One decoded picture shared, not one copy per consumer.
    EXPECT_EQ(first.payloads, second.payloads);
    EXPECT_EQ(hub->streamStarts(), 1);
}

TEST_F(CameraHubTest, EverySubscriberHearsADisconnectOnceAndTheHubCannotRestart)
{
    a->start();
    hub->emitFrame(1.0);
    hub->disconnect();
    hub->disconnect();
    EXPECT_EQ(first.disconnects, 1);
    EXPECT_EQ(second.disconnects, 1); // also the one that was not streaming
    EXPECT_FALSE(hub->isConnected());
    EXPECT_FALSE(hub->emitFrame(1.1));
    EXPECT_FALSE(b->start());
}

TEST(CameraHubDisconnect, SubscriberMayStopItselfFromItsCallback)
{
    auto hub = FakeCameraHub::make();
    std::unique_ptr<CameraHub::Subscription> self;
    int frames = 0;
    self = hub->subscribe({[&](const MediaSample&) {
                               ++frames;
                               self->stop();
                           },
        {}});
    self->start();
    hub->emitFrame(1.0);
    hub->emitFrame(1.1);
    EXPECT_EQ(frames, 1);
    EXPECT_FALSE(hub->isStreaming());
}

} // namespace
