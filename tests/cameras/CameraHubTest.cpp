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

TEST(CameraHubFanOut, MirroringIsPerSubscriberAndComputedOncePerFrame)
{
    auto hub = FakeCameraHub::make();
    Collector plain, mirroredA, mirroredB;
    mirroredA.mirrored = mirroredB.mirrored = true;
    auto p = hub->subscribe(plain.handlers());
    auto m1 = hub->subscribe(mirroredA.handlers(), true);
    auto m2 = hub->subscribe(mirroredB.handlers(), true);
    p->start();
    m1->start();
    m2->start();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(hub->emitFrame(10.0 + i / 30.0));
    EXPECT_EQ(plain.counters, (std::vector<int64_t>{0, 1, 2}));
    EXPECT_EQ(mirroredA.counters, (std::vector<int64_t>{0, 1, 2})); // read back through the mirror
    EXPECT_EQ(mirroredA.payloads, mirroredB.payloads);
    EXPECT_NE(mirroredA.payloads.front(), plain.payloads.front());
    m1->setMirrored(false);
    mirroredA.mirrored = false;
    hub->emitFrame(11.0);
    EXPECT_EQ(mirroredA.counters.back(), 3);
    EXPECT_EQ(mirroredA.payloads.back(), plain.payloads.back());
}

TEST_F(CameraHubTest, StreamRunsWhileAnySubscriptionIsStarted)
{
    EXPECT_FALSE(hub->isStreaming());
    EXPECT_FALSE(hub->emitFrame(1.0)); // subscribed but not started: no stream
    a->start();
    b->start();
    EXPECT_TRUE(hub->isStreaming());
    a->stop();
    EXPECT_TRUE(hub->isStreaming());
    EXPECT_TRUE(hub->emitFrame(1.0));
    EXPECT_TRUE(first.counters.empty()); // a stopped subscription hears nothing
    EXPECT_EQ(second.counters.size(), 1u);
    b.reset();
    EXPECT_FALSE(hub->isStreaming());
    EXPECT_EQ(hub->streamStarts(), 1);

    // A refused stream leaves the subscription stopped.
    hub->refuseStreaming = true;
    EXPECT_FALSE(a->start());
    EXPECT_FALSE(a->isStarted());
    hub->refuseStreaming = false;
    EXPECT_TRUE(a->start());
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

TEST(CameraHubRegistry, SameDeviceSharesOneHubUntilItIsGone)
{
    int opens = 0;
    CameraHubRegistry registry([&](const QString& id) {
        ++opens;
        if (id == QStringLiteral("missing"))
            return CameraHubRegistry::Result{nullptr, CameraHub::Error{CameraHub::Error::Code::cannotOpen, id}};
        return CameraHubRegistry::Result{FakeCameraHub::make({}, id), std::nullopt};
    });
    auto first = registry.hub(QStringLiteral("desk")).hub;
    auto again = registry.hub(QStringLiteral("desk")).hub;
    EXPECT_EQ(first, again);
    EXPECT_NE(registry.hub(QStringLiteral("phone")).hub, first);
    EXPECT_EQ(opens, 2);

    std::static_pointer_cast<FakeCameraHub>(first)->disconnect(); // unplugged and plugged back in
    auto replugged = registry.hub(QStringLiteral("desk")).hub;
    EXPECT_NE(replugged, first);
    EXPECT_TRUE(replugged->isConnected());

    const auto failed = registry.hub(QStringLiteral("missing"));
    EXPECT_FALSE(failed.hub);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(registry.hub(QStringLiteral("missing")).error->code, CameraHub::Error::Code::cannotOpen);
}

} // namespace
