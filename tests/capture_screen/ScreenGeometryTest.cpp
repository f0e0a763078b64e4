#include "capture/ScreenGeometry.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ScreenGeometry, widerDisplaysAreCroppedLeftAndRightAndTallerOnesTopAndBottom)
{
    const QRectF ultrawide = ScreenGeometry::sourceRect(3440, 1440);
    EXPECT_DOUBLE_EQ(ultrawide.x(), 440);
    EXPECT_DOUBLE_EQ(ultrawide.width(), 2560);
    EXPECT_DOUBLE_EQ(ultrawide.height(), 1440);
    EXPECT_EQ(ScreenGeometry::outputSize(ultrawide, 1, 1080), QSize(1920, 1080));

    const QRectF laptop = ScreenGeometry::sourceRect(1512, 982);
    EXPECT_DOUBLE_EQ(laptop.y(), 65.75);
    EXPECT_DOUBLE_EQ(laptop.width(), 1512);
    EXPECT_DOUBLE_EQ(laptop.height(), 850.5);
    EXPECT_EQ(ScreenGeometry::outputSize(laptop, 2, 1080), QSize(1920, 1080));
    // 3024 × 1701 before the cap; odd sides round down to even.
    EXPECT_EQ(ScreenGeometry::outputSize(laptop, 2, std::nullopt), QSize(3024, 1700));
}

