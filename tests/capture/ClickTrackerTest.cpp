#include "capture/ClickTracker.h"

#include "core/RecordingClock.h"
#include "support/FakeInputEvents.h"
#include "support/FakePointerState.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

class ClickTrackerTest : public ::testing::Test {
protected:
    // Desktop coordinates, origin bottom-left: 800 × 400 whose bottom-left corner is at (100, 50).
    const QRectF capture{100, 50, 800, 400};
    ManualClock host{100.0};
    FakeInputEvents input;
    FakePointerState pointer;
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
    ClickTracker tracker{input, pointer};

    void clickAt(double x, double y)
    {
        pointer.pointer = QPointF(x, y);
        input.press();
    }
};

TEST_F(ClickTrackerTest, ClickBeforeTheFirstFrameIsNotLogged)
{
    tracker.start(clock, capture);
    clickAt(500, 150);
    EXPECT_TRUE(tracker.recorded().empty());
    clock->begin(host.now());
    host.advance(1.5);
    clickAt(500, 150);
    ASSERT_EQ(tracker.recorded().size(), 1u);
    EXPECT_EQ(tracker.recorded()[0], (Click{1.5, 0.5, 0.25}));
}

TEST_F(ClickTrackerTest, PausedClickIsDroppedAndThePauseIsCutFromLaterTimes)
{
    clock->begin(host.now());
    tracker.start(clock, capture);
    host.advance(1.0);
    clickAt(300, 350);
    clock->pause();
    host.advance(1.0);
    clickAt(300, 350);
    host.advance(2.0);
    clock->resume();
    host.advance(0.5);
    clickAt(500, 250);
    const auto clicks = tracker.recorded();
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[0], (Click{1.0, 0.25, 0.75}));
    EXPECT_EQ(clicks[1], (Click{1.5, 0.5, 0.5}));
}

TEST_F(ClickTrackerTest, OnlyClicksInsideTheCaptureCountAndItsRightAndTopEdgesAreOutside)
{
    clock->begin(host.now());
    tracker.start(clock, capture);
    clickAt(900, 200);  // right edge
    clickAt(500, 450);  // top edge
    clickAt(1500, 200); // another display
    clickAt(500, 10);   // below
    clickAt(99.5, 200); // left of it
    clickAt(100, 50);   // bottom-left corner
    clickAt(899.5, 449.5);
    const auto clicks = tracker.recorded();
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[0], (Click{0, 0, 0}));
    EXPECT_DOUBLE_EQ(clicks[1].x, 799.5 / 800);
    EXPECT_DOUBLE_EQ(clicks[1].y, 399.5 / 400);
}

TEST_F(ClickTrackerTest, FlatCaptureUnknownPointerOrRefusedMonitorLogsNothing)
{
    clock->begin(host.now());
    tracker.start(clock, QRectF(100, 50, 0, 400));
    clickAt(100, 100);
    tracker.start(clock, capture);
    pointer.pointer.reset();
    input.press();
    EXPECT_TRUE(tracker.recorded().empty());

    input.refusesMonitors = true;
    ClickTracker refused(input, pointer);
    refused.start(clock, capture);
    EXPECT_FALSE(refused.isMonitoring());
    clickAt(500, 250);
    EXPECT_TRUE(refused.recorded().empty());
}

TEST_F(ClickTrackerTest, OneMonitorAtATimeStopKeepsTheClicksAndDestructionRemovesIt)
{
    clock->begin(host.now());
    tracker.start(clock, capture);
    tracker.start(clock, capture);
    EXPECT_EQ(input.monitorCount(), 1u);
    clickAt(500, 250);
    EXPECT_EQ(tracker.recorded().size(), 1u); // not twice
    tracker.stop();
    tracker.stop();
    EXPECT_FALSE(tracker.isMonitoring());
    EXPECT_EQ(input.monitorCount(), 0u);
    clickAt(500, 250);
    EXPECT_EQ(tracker.recorded().size(), 1u);
    tracker.clearRecorded();
    EXPECT_TRUE(tracker.recorded().empty());
    {
        ClickTracker shortLived(input, pointer);
        shortLived.start(clock, capture);
        EXPECT_EQ(input.monitorCount(), 1u);
    }
    EXPECT_EQ(input.monitorCount(), 0u);
    input.press();
}

TEST(ClicksSidecar, IndentedArrayOfSortedTimeXY)
{
    const auto json = ClickTracker::encoded({{1.5, 0.25, 0.75}, {0.125, 0.5, 0}});
    ASSERT_TRUE(json);
    EXPECT_EQ(*json,
        QByteArray("[\n"
                   "    {\n"
                   "        \"time\": 1.5,\n"
                   "        \"x\": 0.25,\n"
                   "        \"y\": 0.75\n"
                   "    },\n"
                   "    {\n"
                   "        \"time\": 0.125,\n"
                   "        \"x\": 0.5,\n"
                   "        \"y\": 0\n"
                   "    }\n"
                   "]\n"));
    // Times stay unrounded.
    EXPECT_TRUE(ClickTracker::encoded({{1.0 / 3, 0.1, 0.2}})->contains("0.3333333333333333"));
    EXPECT_FALSE(ClickTracker::encoded({{std::numeric_limits<double>::quiet_NaN(), 0.5, 0.5}}));
}

} // namespace
