#include "platform/input/EwmhFrontWindow.h"
#include "platform/input/RootCoordinates.h"

#include <gtest/gtest.h>

namespace {

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
