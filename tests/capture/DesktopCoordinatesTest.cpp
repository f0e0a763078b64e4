#include "platform/input/EwmhFrontWindow.h"
#include "platform/input/RootCoordinates.h"

#include <gtest/gtest.h>

namespace {

TEST(RootCoordinates, PointerRowsFlipToTheBottomLeftOrigin)
{
    // A 1280 × 720 root: the top row is 719 up, the bottom row 0, columns stay.
    EXPECT_EQ(RootCoordinates::point(0, 0, 720), QPointF(0, 719));
    EXPECT_EQ(RootCoordinates::point(1279, 719, 720), QPointF(1279, 0));
    EXPECT_EQ(RootCoordinates::point(500, 300, 720), QPointF(500, 419));
}

TEST(RootCoordinates, RectanglesKeepTheirSizeAndMeasureFromTheBottom)
{
    EXPECT_EQ(RootCoordinates::rect(200, 100, 400, 300, 720), QRectF(200, 320, 400, 300));
    EXPECT_EQ(RootCoordinates::rect(0, 0, 1280, 720, 720), QRectF(0, 0, 1280, 720));
    // A second display below the first on a 1280 × 1440 root lies at the bottom.
    EXPECT_EQ(RootCoordinates::rect(0, 720, 1280, 720, 1440), QRectF(0, 0, 1280, 720));
}

TEST(EwmhFrontWindow, OnlyVisibleNormalWindowsLargerThan200By150Count)
{
    using Facts = EwmhFrontWindow::WindowFacts;
    EXPECT_TRUE(EwmhFrontWindow::qualifies(Facts{true, true, QRectF(0, 0, 201, 151)}));
    EXPECT_FALSE(EwmhFrontWindow::qualifies(Facts{true, true, QRectF(0, 0, 200, 600)}));
    EXPECT_FALSE(EwmhFrontWindow::qualifies(Facts{true, true, QRectF(0, 0, 800, 150)}));
    EXPECT_FALSE(EwmhFrontWindow::qualifies(Facts{false, true, QRectF(0, 0, 800, 600)}));
    EXPECT_FALSE(EwmhFrontWindow::qualifies(Facts{true, false, QRectF(0, 0, 800, 600)}));
}

} // namespace
