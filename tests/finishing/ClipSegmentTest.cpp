#include "takedata/ClipSegment.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Segments = std::vector<ClipSegment>;

struct AlphaCase {
    Segments segments;
    double at;
    double expected;
};

TEST(ClipSegmentTest, OverlayAlphaFadesAtSpanEdges)
{
    const Segments single{{5.0, 10.0}};
    const Segments opening{{0.2, 10.0}};
    const Segments gap{{1.0, 2.0}, {2.1, 3.0}};
    const std::vector<AlphaCase> cases{
        {{}, -3, 1}, {{}, 0, 1}, {{}, 1e9, 1},
        {single, 4.9, 0}, {single, 5.0, 0}, {single, 5.15, 0.5}, {single, 5.4, 1}, {single, 10.0, 1},
        {single, 10.15, 0.5}, {single, 10.4, 0}, {single, 60, 0},
        {opening, 0.1, 0}, {opening, 0.2, 1}, {opening, 0.25, 1},
        // The earlier span's fade-out decides inside the later span until it has run out.
        {gap, 2.2, 1 - 0.2 / 0.3}, {gap, 2.35, (2.35 - 2.1) / 0.3}, {gap, 2.5, 1},
    };
    for (const AlphaCase& c : cases)
        EXPECT_NEAR(ClipSegment::overlayAlpha(c.segments, c.at, 0.3), c.expected, 1e-9) << "at " << c.at;
}

TEST(ClipSegmentTest, CoveringLateStartStretchesOnlyASlightlyLateFirstSpan)
{
    EXPECT_EQ(ClipSegment::coveringLateStart({{1.8, 30.0}, {31.0, 40.0}}, 2.5), (Segments{{0, 30.0}, {31.0, 40.0}}));
    EXPECT_EQ(ClipSegment::coveringLateStart({{2.5, 30.0}}, 2.5), (Segments{{0, 30.0}}));
    EXPECT_EQ(ClipSegment::coveringLateStart({{2.6, 30.0}}, 2.5), (Segments{{2.6, 30.0}}));
    EXPECT_EQ(ClipSegment::coveringLateStart({{0, 30.0}}, 2.5), (Segments{{0, 30.0}}));
    EXPECT_EQ(ClipSegment::coveringLateStart({{-0.5, 30.0}}, 2.5), (Segments{{-0.5, 30.0}}));
    EXPECT_EQ(ClipSegment::coveringLateStart({}, 2.5), Segments{});
    // Only the first span is looked at, even when a later one starts within the grace.
    EXPECT_EQ(ClipSegment::coveringLateStart({{3.0, 4.0}, {1.0, 2.0}}, 2.5), (Segments{{3.0, 4.0}, {1.0, 2.0}}));
}

} // namespace
