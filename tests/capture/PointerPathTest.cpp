#include "takedata/PointerPath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The Gaussian the path is smoothed with: 35 taps, sigma 5.4 points.
double weight(int k) { return std::exp(-(k * k) / (2 * 5.4 * 5.4)); }

TEST(PointerPath, OneSecondGives121PointsAndSmoothingKeepsARampStraightInside)
{
    const auto path = PointerPath::fromSamples({{1.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}); // unsorted on purpose
    ASSERT_TRUE(path);
    EXPECT_DOUBLE_EQ(path->start, 0.0);
    ASSERT_EQ(path->xs.size(), 121u);
    EXPECT_NEAR(path->xs[60], 0.5, 1e-12);
    EXPECT_NEAR(path->ys[60], 0.5, 1e-12);
    EXPECT_NEAR(path->xs[40], 40.0 / 120, 1e-12); // the kernel lies wholly on the ramp

    // Near the ends the end points repeat, so the first point is pulled inwards by the taps past it.
    double sum = 0, total = 0;
    for (int k = -17; k <= 17; ++k) {
        sum += weight(k) * std::max(k, 0) / 120.0;
        total += weight(k);
    }
    EXPECT_NEAR(path->xs[0], sum / total, 1e-12);
    EXPECT_GT(path->xs[0], 0.0);
    EXPECT_NEAR(path->xs[0] + path->xs[120], 1.0, 1e-12);
    EXPECT_NEAR(path->ys[0], 1.0 - sum / total, 1e-12);
}

TEST(PointerPath, AbsurdSampleTimesDoNotBlowUpTheResampling)
{
    const auto path = PointerPath::fromSamples({{0.0, 0.1, 0.1}, {1e15, 0.9, 0.9}, {-1e12, 0.5, 0.5}, {0.5, 0.2, 0.2}});
    ASSERT_TRUE(path);
    EXPECT_DOUBLE_EQ(path->start, 0.0);
    EXPECT_EQ(path->xs.size(), 61u);
    // Two hours are a long take, not an absurd one; a day and a second is.
    EXPECT_EQ(PointerPath::fromSamples({{0.0, 0.0, 0.0}, {7200.0, 1.0, 1.0}})->xs.size(), 7200u * 120 + 1);
    EXPECT_EQ(PointerPath::fromSamples({{0.0, 0.0, 0.0}, {24.0 * 3600 + 1, 1.0, 1.0}})->xs.size(), 1u);
}

TEST(PointerPathFromClicks, LongGapTravels07SecondsArrivingBeforeTheClick)
{
    const auto samples = PointerPath::clickSamples({{2.0, 0.9, 0.8}, {0.0, 0.1, 0.2}});
    ASSERT_EQ(samples.size(), 15u);
    EXPECT_EQ(samples[0], (std::vector<double>{0.0, 0.1, 0.2}));
    EXPECT_NEAR(samples[1][0], 2.0 - 0.08 - 0.7, 1e-12);
    EXPECT_DOUBLE_EQ(samples[1][1], 0.1);
    EXPECT_NEAR(samples[7][0], (1.22 + 1.92) / 2, 1e-12);
    EXPECT_NEAR(samples[7][1], 0.5, 1e-12); // smootherstep is halfway at the middle step
    EXPECT_NEAR(samples[13][0], 1.92, 1e-12);
    EXPECT_DOUBLE_EQ(samples[13][1], 0.9);
    EXPECT_DOUBLE_EQ(samples[13][2], 0.8);
    EXPECT_EQ(samples[14], (std::vector<double>{2.0, 0.9, 0.8}));
    // Smootherstep eases in: the first step moves far less than a straight line would.
    EXPECT_LT(samples[2][1] - 0.1, 0.8 / 12 / 10);
}

TEST(PointerPathFromClicks, TravelIsSixTenthsOfTheGapBetweenItsLimits)
{
    struct Case {
        double gap, departure;
    };
    // gap 1 s: 0.6 s; gap 0.5 s: 0.3 s; gaps of 0.3 and 0.2 s still leave only 0.05 s after the click; gap 5 s: 0.7 s.
    for (const Case& c : {Case{1.0, 1.0 - 0.08 - 0.6}, Case{0.5, 0.5 - 0.08 - 0.3}, Case{0.3, 0.05}, Case{0.2, 0.05},
             Case{5.0, 5.0 - 0.08 - 0.7}}) {
        const auto samples = PointerPath::clickSamples({{10.0, 0.0, 0.0}, {10.0 + c.gap, 1.0, 1.0}});
        ASSERT_EQ(samples.size(), 15u);
        EXPECT_NEAR(samples[1][0], 10.0 + c.departure, 1e-9) << "gap " << c.gap;
        EXPECT_NEAR(samples[13][0], 10.0 + c.gap - 0.08, 1e-9) << "gap " << c.gap;
    }
}

} // namespace
