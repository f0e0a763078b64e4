#include "capture/PointerTracker.h"

#include "core/RecordingClock.h"
#include "support/FakeFrontWindow.h"
#include "support/FakeInputEvents.h"
#include "support/FakePointerState.h"
#include "support/ManualClock.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>

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

TEST_F(PointerTrackerTest, KeyPressesBecomeTickTimesAtMostTwentyPerTick)
{
    clock->begin(host.now());
    input.keyCount = 10;
    ticks(1); // the first reading only sets the baseline
    EXPECT_TRUE(log().keys->empty());
    input.keyCount = 12;
    host.advance(1.2346 - takeTime() - 1.0 / 60);
    ticks(1);
    EXPECT_EQ(*log().keys, (std::vector<double>{1.235, 1.235}));
    input.keyCount = 37; // 25 in one tick
    ticks(1);
    EXPECT_EQ(log().keys->size(), 22u);
    EXPECT_EQ(log().keys->back(), PointerLog::rounded(takeTime(), 3));
    input.keyCount = 5; // the counter went back: no presses
    ticks(1);
    input.keyCount = 6;
    ticks(1);
    EXPECT_EQ(log().keys->size(), 23u);
}

TEST_F(PointerTrackerTest, StillPointerGivesOneSampleAndAMoveAfterRestingAddsTheLastRestingTick)
{
    clock->begin(host.now());
    ticks(1);
    const double first = takeTime();
    ticks(120); // two seconds at rest
    EXPECT_EQ(log().samples.size(), 1u);
    const double lastResting = takeTime();
    pointer.pointer = QPointF(700, 150);
    ticks(1);
    const double moved = takeTime();
    pointer.pointer = QPointF(710, 150);
    ticks(1); // moving on: no extra sample
    const auto samples = log().samples;
    ASSERT_EQ(samples.size(), 4u);
    EXPECT_EQ(samples[0], (std::vector<double>{PointerLog::rounded(first, 4), 0.5, 0.5}));
    EXPECT_EQ(samples[1], (std::vector<double>{PointerLog::rounded(lastResting, 4), 0.5, 0.5}));
    EXPECT_EQ(samples[2], (std::vector<double>{PointerLog::rounded(moved, 4), 0.75, 0.25}));
    EXPECT_EQ(samples[3][1], 0.7625);
}

TEST_F(PointerTrackerTest, OutsidePositionsAreKeptSamplesRoundToFourPlacesAndTinyMovesAreRest)
{
    clock->begin(host.now());
    pointer.pointer = QPointF(1000, 500);
    ticks(1);
    pointer.pointer = QPointF(100 + 800.0 / 3, 50 + 400.0 * 2 / 3);
    ticks(1);
    auto samples = log().samples;
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], (std::vector<double>{0.0167, 1.125, 1.125}));
    EXPECT_EQ(samples[1], (std::vector<double>{0.0333, 0.3333, 0.6667}));
    pointer.pointer = QPointF(100 + 800.0 / 3 + 0.0079, 50 + 400.0 * 2 / 3 + 0.0039); // under 0.00001 of 800 and 400
    ticks(1);
    EXPECT_EQ(log().samples.size(), 2u);
    pointer.pointer = QPointF(100 + 800.0 / 3 + 0.009, 50 + 400.0 * 2 / 3);
    ticks(1);
    EXPECT_EQ(log().samples.size(), 4u) << "the last resting tick, then the move";
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

TEST_F(PointerTrackerTest, WindowRecordsComeEveryTwelfthTickFromTheThird)
{
    windows.bounds = QRectF(300, 150, 400, 200);
    clock->begin(host.now());
    ticks(2);
    EXPECT_EQ(windows.reads, 0);
    ticks(1);
    ASSERT_EQ(log().windows->size(), 1u);
    EXPECT_EQ(log().windows->at(0), (std::vector<double>{takeTime(), 0.25, 0.25, 0.5, 0.5}));
    windows.bounds = QRectF(100 + 800.0 / 3, 50, 800.0 / 7, 400.0 / 9);
    ticks(12);
    ASSERT_EQ(log().windows->size(), 2u);
    EXPECT_EQ(log().windows->at(1), (std::vector<double>{takeTime(), 0.333, 0, 0.143, 0.111}));
    windows.bounds.reset(); // this application in front: the last record stays in force
    ticks(12);
    windows.bounds = QRectF(100 + 800.0 / 3, 50, 800.0 / 7, 400.0 / 9);
    ticks(12);
    EXPECT_EQ(log().windows->size(), 2u);
    EXPECT_EQ(windows.reads, 4);
}

TEST_F(PointerTrackerTest, ZoomMarksNeedATakeTimeAndRoundTheirValues)
{
    tracker.addMark(true); // no clock yet
    tracker.start(clock, capture);
    tracker.stop();
    tracker.addMark(true); // clock not started
    EXPECT_EQ(tracker.markCount(), 0u);
    clock->begin(host.now());
    host.advance(2.0625);
    pointer.pointer = QPointF(100 + 800.0 / 3, 50 + 400.0 / 7);
    tracker.addMark(true);
    tracker.addMark(false);
    EXPECT_EQ(tracker.markCount(), 2u);
    const auto marks = *log().zoomMarks;
    EXPECT_EQ(marks[0], (std::vector<double>{2.063, 1, 0.3333, 0.1429}));
    EXPECT_EQ(marks[1], (std::vector<double>{2.063, 0, 0.3333, 0.1429}));
    EXPECT_EQ(log().marks()[1], (ZoomMark{2.063, false, 0.3333, 0.1429}));

    tracker.start(clock, QRectF(100, 50, 800, 0)); // a flat capture would write an infinite y
    tracker.stop();
    tracker.addMark(true);
    EXPECT_EQ(tracker.markCount(), 2u);
    EXPECT_TRUE(log().encoded());
}

TEST_F(PointerTrackerTest, LogIsASnapshotAndResetStartsOver)
{
    pointer.cursor = CursorImage{24, 24, 4, 4, "left_ptr"};
    windows.bounds = QRectF(300, 150, 400, 200);
    clock->begin(host.now());
    input.keyCount = 1;
    ticks(1);
    input.keyCount = 2;
    ticks(5);
    const PointerLog before = tracker.log(true);
    EXPECT_TRUE(before.systemCursorInCapture);
    EXPECT_EQ(before.samples.size(), 1u);
    EXPECT_EQ(before.shapes.size(), 1u);
    EXPECT_EQ(before.keys->size(), 1u);
    EXPECT_EQ(before.windows->size(), 1u);

    tracker.reset();
    const PointerLog empty = log();
    EXPECT_TRUE(empty.samples.empty() && empty.shapes.empty() && empty.keys->empty() && empty.windows->empty()
        && empty.zoomMarks->empty());
    // Everything counts from the first tick again: the same cursor and window are recorded anew, and the
    // key counter needs a new baseline.
    input.keyCount = 9;
    ticks(6);
    const PointerLog after = log();
    EXPECT_EQ(after.samples.size(), 1u);
    EXPECT_EQ(after.shapes.size(), 1u);
    EXPECT_EQ(after.windows->size(), 1u);
    EXPECT_TRUE(after.keys->empty());
}

TEST(PointerTrackerTimer, SamplesAboutSixtyTimesASecondUntilStopped)
{
    FakeInputEvents input;
    FakePointerState pointer;
    FakeFrontWindow windows;
    PointerTracker tracker(input, pointer, windows);
    auto clock = std::make_shared<RecordingClock>();
    clock->begin(HostClock::now());
    QElapsedTimer elapsed;
    elapsed.start();
    tracker.start(clock, QRectF(0, 0, 100, 100));
    EXPECT_TRUE(tracker.isRunning());
    // The window list is read on ticks 3, 15 and 27; the first tick fires at once, the 27th 26 periods later.
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return windows.reads >= 3; }, 5000));
    EXPECT_GE(elapsed.nsecsElapsed(), 26 * PointerTracker::periodNanoseconds - 1'000'000);
    tracker.stop();
    EXPECT_FALSE(tracker.isRunning());
    const int reads = windows.reads;
    TestEnvironment::waitUntil([] { return false; }, 250);
    EXPECT_EQ(windows.reads, reads);
    EXPECT_EQ(tracker.log(false).samples.size(), 1u);
}

} // namespace
