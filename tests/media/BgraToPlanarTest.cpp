#include "platform/media/BgraToPlanar.h"
#include "platform/media/PixelBuffer.h"

#include <gtest/gtest.h>

namespace {

void paint(PixelBuffer& picture, QRect area, uint32_t rgb)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            reinterpret_cast<uint32_t*>(picture.row(y))[x] = 0xFF000000u | rgb;
}

} // namespace

TEST(BgraToPlanarTest, HdLimitedRangeWithEachChromaTheMeanOfItsBlockAndOddEdgesPairedWithThemselves)
{
    // 9 × 3: red, white, black, then a block of a red and a blue column, then a lone blue column; row 2 black.
    PixelBuffer picture(9, 3);
    paint(picture, QRect(0, 0, 9, 3), 0x000000);
    paint(picture, QRect(0, 0, 2, 2), 0xFF0000);
    paint(picture, QRect(2, 0, 2, 2), 0xFFFFFF);
    paint(picture, QRect(6, 0, 1, 2), 0xFF0000);
    paint(picture, QRect(7, 0, 2, 2), 0x0000FF);
    PlanarImage planes(9, 3);
    BgraToPlanar::convert(picture.data(), picture.bytesPerRow(), planes.canvas());
    auto at = [&](int plane, int x, int y) { return int(planes.planes[plane].at<uint8_t>(y, x)); };
    ASSERT_EQ(planes.planes[1].cols, 5);
    ASSERT_EQ(planes.planes[1].rows, 2);
    // BT.709 limited range, as the track is tagged: red Y 63 Cb 102 Cr 240, blue Cb 240 Cr 118; white and
    // black at the range's ends.
    EXPECT_EQ(at(0, 0, 0), 63);
    EXPECT_EQ(at(1, 0, 0), 102);
    EXPECT_EQ(at(2, 0, 0), 240);
    EXPECT_EQ(at(0, 2, 1), 235);
    EXPECT_EQ(at(0, 4, 0), 16);
    EXPECT_EQ(at(1, 2, 0), 128);
    // Red beside blue: the mean of both. The odd last column and row stand for themselves.
    EXPECT_EQ(at(1, 3, 0), 171);
    EXPECT_EQ(at(2, 3, 0), 179);
    EXPECT_EQ(at(1, 4, 0), 240);
    EXPECT_EQ(at(2, 4, 0), 118);
    EXPECT_EQ(at(2, 0, 1), 128);
    // Nothing is drawn into an empty canvas.
    BgraToPlanar::convert(picture.data(), picture.bytesPerRow(), PlanarCanvas{});
}
