#include "support/ManualClock.h"
#include "takedata/RecordingClock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingClockTest : public ::testing::Test {
protected:
    ManualClock host{100.0};
    RecordingClock clock;
};

TEST_F(RecordingClockTest, NothingBelongsToTheTakeBeforeTheFirstWrittenSample)
{
    EXPECT_FALSE(clock.adjust(host.at(100.5), true));
    EXPECT_FALSE(clock.nowSeconds());
    clock.pause(); // ignored before the zero
    clock.begin(host.at(100.0));
    clock.begin(host.at(105.0)); // only the first begin sets the zero
    ASSERT_TRUE(clock.nowSeconds());
    EXPECT_DOUBLE_EQ(*clock.nowSeconds(), 0.0);
    EXPECT_DOUBLE_EQ(clock.adjust(host.at(101.5), false)->seconds(), 1.5);
    EXPECT_FALSE(clock.adjust(host.at(99.99), false)); // before the zero
    EXPECT_FALSE(clock.adjust(MediaTime::invalid(), false));
}

TEST_F(RecordingClockTest, PauseCutsItsSpanAndDropsSamplesCapturedDuringIt)
{
    clock.begin(host.at(100.0));
    host.set(102.0);
    clock.pause();
    EXPECT_FALSE(clock.adjust(host.at(102.5), true)); // captured while paused
    EXPECT_FALSE(clock.adjust(host.at(102.0), true)); // the pause instant itself is paused
    EXPECT_FALSE(clock.nowSeconds());
    host.set(105.0);
    clock.resume();
    // Captured during the pause, delivered after the resume.
    EXPECT_FALSE(clock.adjust(host.at(104.0), true));
    // Captured 1 s after the resume: capture − zero − 3 s.
    EXPECT_DOUBLE_EQ(clock.adjust(host.at(106.0), true)->seconds(), 3.0);
    host.set(106.0);
    EXPECT_DOUBLE_EQ(*clock.nowSeconds(), 3.0);
}

TEST_F(RecordingClockTest, SamplesCapturedBeforeAPauseKeepTheirPlaceWhenTheyArriveDuringOrAfterIt)
{
    clock.begin(host.at(100.0));
    host.set(104.0);
    clock.pause();
    // Still on its way when the pause came: it belongs to the take where it was captured.
    ASSERT_TRUE(clock.adjust(host.at(103.99), true));
    EXPECT_DOUBLE_EQ(clock.adjust(host.at(103.99), true)->seconds(), 3.99);
    EXPECT_DOUBLE_EQ(clock.elapsedSeconds(), 3.99);
    host.set(107.0);
    clock.resume();
    host.set(110.0);
    clock.pause();
    host.set(111.0);
    clock.resume();
    // After two pauses, a block from before the first, one between them, one in each pause, one after both.
    EXPECT_DOUBLE_EQ(clock.adjust(host.at(103.5), false)->seconds(), 3.5);
    EXPECT_DOUBLE_EQ(clock.adjust(host.at(108.0), false)->seconds(), 5.0);
    EXPECT_FALSE(clock.adjust(host.at(105.0), false));
    EXPECT_FALSE(clock.adjust(host.at(110.5), false));
    EXPECT_DOUBLE_EQ(clock.adjust(host.at(111.0), false)->seconds(), 7.0);
    // The late block never moves the ticker back.
    clock.adjust(host.at(112.0), true);
    clock.adjust(host.at(103.0), true);
    EXPECT_DOUBLE_EQ(clock.elapsedSeconds(), 8.0);
}

TEST_F(RecordingClockTest, PausesAddUpAndRedundantCallsChangeNothing)
{
    clock.begin(host.at(100.0));
    clock.resume(); // no open pause
    host.set(101.0);
    clock.pause();
    host.set(102.0);
    clock.pause(); // already open: the start stays at 101
    host.set(103.0);
    clock.resume();
    host.set(110.0);
    clock.pause();
    host.set(115.0);
    clock.resume();
    // 2 s + 5 s paused.
    EXPECT_DOUBLE_EQ(clock.adjust(host.at(120.0), false)->seconds(), 13.0);
}

TEST_F(RecordingClockTest, ElapsedFollowsOnlyTheSamplesThatDriveItAndHoldsWhilePaused)
{
    clock.begin(host.at(100.0));
    clock.adjust(host.at(102.0), true);
    clock.adjust(host.at(104.0), false);
    EXPECT_DOUBLE_EQ(clock.elapsedSeconds(), 2.0);
    host.set(103.0);
    clock.pause();
    clock.adjust(host.at(103.5), true);
    EXPECT_DOUBLE_EQ(clock.elapsedSeconds(), 2.0);
}

TEST_F(RecordingClockTest, TheRunningTimeBetweenTwoCaptureTimesLeavesOutThePausesBetweenThem)
{
    clock.begin(host.at(100.0));
    host.set(102.0);
    clock.pause();
    host.set(105.0);
    clock.resume();
    host.set(107.0);
    clock.pause(); // still open
    struct Row {
        double from, until, running;
        bool untilPaused;
    };
    for (const Row& row : std::vector<Row>{
             {100.0, 101.5, 1.5, false}, // no pause between
             {101.0, 106.0, 2.0, false}, // across a whole pause
             {101.5, 102.0, 0.5, true}, // up to the pause's first instant
             {103.0, 105.0, 0.0, false}, // out of a pause up to its resume
             {102.5, 104.5, 0.0, true}, // within one
             {104.0, 110.0, 2.0, true}, // out of one pause into the one still open
             {106.0, 106.0, 0.0, false}, // no distance
             {106.0, 105.0, 0.0, false}, // backwards
         }) {
        EXPECT_DOUBLE_EQ(clock.runningBetween(host.at(row.from), host.at(row.until)).seconds(), row.running) << row.from << " to " << row.until;
        EXPECT_EQ(clock.pausedAt(host.at(row.until)), row.untilPaused) << row.until;
    }
}

} // namespace
