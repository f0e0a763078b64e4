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


TEST(ScreenGeometry, theFilmedPartOfADisplayIsItsSourceRectangleOnTheDesktop)
{
    // A 16:10 display to the right of another: the middle 1080 rows, 60 cut above and below.
    EXPECT_EQ(ScreenGeometry::filmedRect(QRect(1920, 0, 1920, 1200)), QRectF(1920, 60, 1920, 1080));
    EXPECT_EQ(ScreenGeometry::filmedRect(QRect(-3440, 200, 3440, 1440)), QRectF(-3000, 200, 2560, 1440));
    EXPECT_EQ(ScreenGeometry::filmedRect(QRect(0, 0, 1280, 720)), QRectF(0, 0, 1280, 720));
    EXPECT_TRUE(ScreenGeometry::filmedRect(QRect(0, 0, 0, 720)).isNull());
}
