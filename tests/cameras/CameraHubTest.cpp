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

TEST(FakeCameraHubStill, AStillIsFittedOnBlackInEveryFrameUntilThePatternComesBack)
{
    auto hub = FakeCameraHub::make({FakeCameraHub::landscape(320, 180, 30)});
    std::mutex lock;
    std::vector<std::shared_ptr<const PixelBuffer>> frames;
    auto subscription = hub->subscribe({[&](const MediaSample& sample) {
                                            std::lock_guard guard(lock);
                                            frames.push_back(sample.pixels);
                                        },
        [] {}});
    ASSERT_TRUE(subscription->start());
    QImage still(100, 100, QImage::Format_RGB32);
    still.fill(QColor(200, 40, 10));
    hub->setStill(still);
    EXPECT_EQ(hub->stillRect(QSizeF(100, 100)), QRectF(70, 0, 180, 180));
    ASSERT_TRUE(hub->emitFrame(1.0));
    ASSERT_TRUE(hub->emitFrame(1.1));
    hub->setStill(QImage());
    ASSERT_TRUE(hub->emitFrame(1.2));
    std::lock_guard guard(lock);
    ASSERT_EQ(frames.size(), 3u);
    const auto pixel = [](const PixelBuffer& frame, int x, int y) { return frame.row(y) + x * 4; };
    const uint8_t* inside = pixel(*frames[0], 160, 90);
    EXPECT_EQ(inside[2], 200); // BGRA
    EXPECT_EQ(inside[0], 10);
    EXPECT_EQ(pixel(*frames[0], 30, 90)[2], 0); // the bars beside it
    EXPECT_EQ(frames[0], frames[1]) << "the same picture is handed out again, not redrawn";
    EXPECT_EQ(FakeCameraHub::readCounter(*frames[2]), 2);
}
