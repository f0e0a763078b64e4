#include "capture/ClickTracker.h"

#include "support/FakeInputEvents.h"
#include "support/FakePointerState.h"
#include "support/ManualClock.h"
#include "takedata/RecordingClock.h"

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
