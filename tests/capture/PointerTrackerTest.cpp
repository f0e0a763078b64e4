#include "capture/PointerTracker.h"

#include "support/FakeFrontWindow.h"
#include "support/FakeInputEvents.h"
#include "support/FakePointerState.h"
#include "support/ManualClock.h"
#include "takedata/RecordingClock.h"

#include <gtest/gtest.h>

namespace {

class PointerTrackerTest : public ::testing::Test {
protected:
    // Desktop coordinates, origin bottom-left: 800 × 400 whose bottom-left corner is at (100, 50).
    const QRectF capture{100, 50, 800, 400};
    ManualClock host{100.0};
    FakeInputEvents input;
    FakePointerState pointer;
    FakeFrontWindow windows;
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
    PointerTracker tracker{input, pointer, windows};

    void SetUp() override { pointer.pointer = QPointF(500, 250); }

    // Ticks every 1/60 s, starting 1/60 s after the take's zero.
    void ticks(int count)
    {
        for (int i = 0; i < count; ++i) {
            host.advance(1.0 / 60);
            tracker.poll(clock, capture);
        }
    }
    double takeTime() const { return *clock->nowSeconds(); }
    PointerLog log() const { return tracker.log(false); }
};

TEST_F(PointerTrackerTest, NothingIsRecordedBeforeTheTakeClockStartsOrForAFlatCapture)
{
    input.keyCount = 3;
    ticks(1);
    input.keyCount = 8; // pressed before the first frame: lost
    ticks(12);
    clock->begin(host.now());
    ticks(1);
    const PointerLog snapshot = log();
    EXPECT_EQ(snapshot.samples.size(), 1u);
    EXPECT_TRUE(snapshot.keys->empty());
    EXPECT_TRUE(snapshot.shapes.empty());
    EXPECT_EQ(windows.reads, 0);
    for (int i = 0; i < 12; ++i) // a flat capture rectangle records nothing either
        tracker.poll(clock, QRectF(100, 50, 800, 0));
    EXPECT_EQ(log().samples.size(), 1u);
    EXPECT_EQ(windows.reads, 0);
}

TEST_F(PointerTrackerTest, CursorRecordsComeEverySixthTickWhenTheyChange)
{
    pointer.cursor = CursorImage{24, 24, 4, 4, "left_ptr"};
    clock->begin(host.now());
    ticks(5);
    EXPECT_TRUE(log().shapes.empty());
    EXPECT_EQ(pointer.cursorReads, 0);
    ticks(1);
    ASSERT_EQ(log().shapes.size(), 1u);
    EXPECT_EQ(log().shapes[0], (std::vector<double>{takeTime(), 0.17, 0.17, 24, 0}));
    ticks(6); // same cursor: no record
    EXPECT_EQ(log().shapes.size(), 1u);
    pointer.cursor = CursorImage{32, 32, 14, 15, "xterm"};
    ticks(5);
    EXPECT_EQ(log().shapes.size(), 1u);
    ticks(1);
    ASSERT_EQ(log().shapes.size(), 2u);
    EXPECT_EQ(log().shapes[1], (std::vector<double>{takeTime(), 0.44, 0.47, 32, 1}));
    pointer.cursor = CursorImage{0, 24, 4, 4, "hand2"}; // no image: no record
    ticks(6);
    pointer.cursor.reset();
    ticks(6);
    EXPECT_EQ(log().shapes.size(), 2u);
    EXPECT_EQ(pointer.cursorReads, 5);
}

} // namespace
