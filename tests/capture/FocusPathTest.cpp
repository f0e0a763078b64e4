#include "capture/FocusPath.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

const QRectF full(0, 0, 1, 1);
const QRectF leftHalf(0, 0, 0.5, 1);

TEST(FocusPath, TinyAndNearlyFullWindowsMeanNoFocus)
{
    EXPECT_EQ(FocusPath().rect(-1e9), full);
    EXPECT_EQ(FocusPath().rect(12.0), full);
    // 90 % and 10 % of the capture; then 20 % and 85 % exactly, which count.
    EXPECT_EQ(FocusPath({{0.0, 0.0, 0.0, 0.9, 1.0}}).keys.size(), 1u);
    EXPECT_EQ(FocusPath({{0.0, 0.2, 0.2, 0.1, 1.0}}).keys.size(), 1u);
    EXPECT_EQ(FocusPath({{0.0, 0.0, 0.0, 0.25, 0.8}}).keys.size(), 2u);
    EXPECT_EQ(FocusPath({{0.0, 0.0, 0.0, 0.85, 1.0}}).keys.size(), 2u);
}

TEST(FocusPath, HugeKeyTimeDoesNotRecurseForever)
{
    // 1e20 − 0.000001 is 1e20 again in double precision.
    const FocusPath path({{1e20, 0.0, 0.0, 0.5, 1.0}});
    ASSERT_EQ(path.keys.size(), 2u);
    EXPECT_EQ(path.rect(1e20), full);
    EXPECT_EQ(path.rect(2e20), leftHalf);
}

} // namespace
