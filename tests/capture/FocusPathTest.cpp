#include "takedata/FocusPath.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

const QRectF full(0, 0, 1, 1);
const QRectF leftHalf(0, 0, 0.5, 1);
const QRectF rightHalf(0.5, 0, 0.5, 1);

void expectRect(const QRectF& actual, const QRectF& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-9);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-9);
}

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

TEST(FocusPath, WindowIsClippedToTheCaptureAndOffCaptureMeansNoFocus)
{
    const FocusPath clipped({{0.0, -0.5, 0.0, 1.0, 0.6}});
    ASSERT_EQ(clipped.keys.size(), 2u);
    expectRect(clipped.keys[1].rect, QRectF(0, 0, 0.5, 0.6));
    EXPECT_EQ(FocusPath({{0.0, 1.5, 0.0, 0.5, 0.5}}).keys.size(), 1u);
    EXPECT_EQ(FocusPath({{0.0, 0.0, 0.0, 0.5}}).keys.size(), 1u); // four values are no window record
}

TEST(FocusPath, WindowShownUnderASecondNeverBecomesTheFocus)
{
    const FocusPath path({{0.0, 0.0, 0.0, 0.5, 1.0}, {0.5, 0.5, 0.0, 0.5, 1.0}});
    ASSERT_EQ(path.keys.size(), 2u);
    EXPECT_DOUBLE_EQ(path.keys[1].time, 0.5);
    EXPECT_EQ(path.keys[1].rect, rightHalf);

    EXPECT_EQ(path.rect(0.2), full);
    EXPECT_EQ(path.rect(0.5), full);
    expectRect(path.rect(0.8), QRectF(0.25, 0, 0.75, 1)); // halfway through the 0.6 s blend, s = 0.5
    const QRectF early = path.rect(0.56); // u = 0.1: smootherstep barely moves yet
    EXPECT_GT(early.x(), 0.0);
    EXPECT_LT(early.x(), 0.5 * 0.1);
    EXPECT_NE(path.rect(1.09), rightHalf);
    EXPECT_EQ(path.rect(1.1), rightHalf);
    EXPECT_EQ(path.rect(60.0), rightHalf);
}

TEST(FocusPath, ExactlyOneSecondIsLongEnoughAndRepeatsAddNoKey)
{
    const FocusPath path({{0.0, 0.0, 0.0, 0.5, 1.0}, {1.0, 0.0, 0.0, 0.5, 1.0}, {3.0, 0.5, 0.0, 0.5, 1.0},
        {4.0, 0.0, 0.0, 1.0, 1.0}});
    ASSERT_EQ(path.keys.size(), 4u);
    EXPECT_EQ(path.keys[1].rect, leftHalf);
    EXPECT_DOUBLE_EQ(path.keys[1].time, 0.0);
    EXPECT_DOUBLE_EQ(path.keys[2].time, 3.0);
    EXPECT_EQ(path.keys[3].rect, full); // a nearly full window hands the focus back
    expectRect(path.rect(3.3), QRectF(0.25, 0, 0.5, 1));
    expectRect(path.rect(4.3), QRectF(0.25, 0, 0.75, 1));
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
