#include "finishing/MixdownFrameScheduler.h"
#include "finishing/MixdownOverlayPlacement.h"

#include <gtest/gtest.h>

namespace {

using Mixdown::OverlayPlacement;

MediaTime s(double seconds) { return MediaTime::fromSeconds(seconds, 600000); }

TEST(MixdownOverlayPlacementTest, LateStartsHoldTheFrameFromPointTwoSecondsIn)
{
    struct Case {
        const char* name;
        double start, end, limit;
        std::optional<double> held; // held source time
        double liveStart, liveEnd;
    };
    const Case cases[] = {
        {"starts 1.0 s late", 1.0, 5.0, 10.0, 1.2, 1.2, 5.0},
        {"starts 0.5 s late (empty edit)", 0.5, 2.0, 2.0, 0.7, 0.7, 2.0},
        {"starts 2.5 s late, the last start that holds", 2.5, 6.0, 10.0, 2.7, 2.7, 6.0},
        {"starts 3.0 s late: nothing before 3.0", 3.0, 6.0, 10.0, std::nullopt, 3.0, 6.0},
        {"starts within the first millisecond: unchanged", 0.0005, 3.0, 10.0, std::nullopt, 0.0005, 3.0},
        {"starts at 0", 0.0, 3.0, 10.0, std::nullopt, 0.0, 3.0},
        {"runs past the screen: cut at its end", 0.0, 12.0, 10.0, std::nullopt, 0.0, 10.0},
        {"span of exactly 0.2 s + one frame: too short to hold", 1.0, 1.0 + 0.2 + 1.0 / 30, 10.0, std::nullopt, 1.0, 1.0 + 0.2 + 1.0 / 30},
        {"span a little longer: held", 1.0, 1.25, 10.0, 1.2, 1.2, 1.25},
        {"cut by the screen's end to a short span: not held", 1.0, 5.0, 1.1, std::nullopt, 1.0, 1.1},
    };
    for (const Case& c : cases) {
        const auto placement = OverlayPlacement::place(s(c.start), MediaTime::fromSeconds(c.end, 600000), s(c.limit));
        ASSERT_TRUE(placement) << c.name;
        EXPECT_EQ(placement->heldSourceTime.has_value(), c.held.has_value()) << c.name;
        if (c.held && placement->heldSourceTime) {
            EXPECT_NEAR(placement->heldSourceTime->seconds(), *c.held, 1e-9) << c.name;
        }
        EXPECT_NEAR(placement->liveStart.seconds(), c.liveStart, 1e-5) << c.name;
        EXPECT_NEAR(placement->liveEnd.seconds(), c.liveEnd, 1e-5) << c.name;
    }
}

TEST(MixdownOverlayPlacementTest, NothingWhenNoMediaFallsInsideTheTake)
{
    EXPECT_FALSE(OverlayPlacement::place(s(10), s(12), s(10))) << "starts at the screen's end";
    EXPECT_FALSE(OverlayPlacement::place(s(2), s(2), s(10))) << "no media";
    EXPECT_FALSE(OverlayPlacement::place(s(2), s(1), s(10))) << "ends before it starts";
    EXPECT_FALSE(OverlayPlacement::place(MediaTime::invalid(), s(1), s(10)));
    const auto early = OverlayPlacement::place(s(-0.5), s(2), s(10));
    ASSERT_TRUE(early);
    EXPECT_EQ(early->liveStart, MediaTime::zero()) << "media before the take starts at 0";
}

TEST(MixdownOverlayPlacementTest, SourceTimeHoldsThenFollowsTheTakeThenStops)
{
    const auto placement = OverlayPlacement::place(s(1.0), s(3.0), s(10));
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->sourceTime(s(0)), s(1.2));
    EXPECT_EQ(placement->sourceTime(s(1.1)), s(1.2));
    EXPECT_EQ(placement->sourceTime(s(1.2)), s(1.2));
    EXPECT_EQ(placement->sourceTime(s(2.5)), s(2.5));
    EXPECT_FALSE(placement->sourceTime(s(3.0)));

    const auto late = OverlayPlacement::place(s(3.0), s(5.0), s(10));
    EXPECT_FALSE(late->sourceTime(s(2.99)));
    EXPECT_EQ(late->sourceTime(s(3.0)), s(3.0));
}

TEST(MixdownFrameCountTest, OneFramePerStepThatStartsInsideTheSpan)
{
    EXPECT_EQ(Mixdown::FrameScheduler::frameCount(MediaTime(2, 1), 30), 60);
    EXPECT_EQ(Mixdown::FrameScheduler::frameCount(MediaTime(2021, 1000), 30), 61);
    EXPECT_EQ(Mixdown::FrameScheduler::frameCount(MediaTime(1, 60), 60), 1);
    EXPECT_EQ(Mixdown::FrameScheduler::frameCount(MediaTime::zero(), 30), 0);
    EXPECT_EQ(Mixdown::FrameScheduler::frameCount(MediaTime::invalid(), 30), 0);
    EXPECT_EQ(Mixdown::FrameScheduler::frameCount(MediaTime(2, 1), 0), 0);
}

} // namespace
