#include "support/ManualClock.h"
#include "takedata/RecordingClock.h"

#include <gtest/gtest.h>

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
    EXPECT_FALSE(clock.adjust(host.at(101.0), true)); // nothing passes while paused
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

} // namespace
