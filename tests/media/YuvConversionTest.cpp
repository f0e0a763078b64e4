#include "platform/media/YuvConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(YuvConversionTest, BgraSurvivesARoundTripThroughI420)
{
    PixelBuffer source(64, 36);
    source.fill(40, 160, 220, 255);
    const auto i420 = YuvConversion::toI420(source);
    ASSERT_TRUE(i420);
    ASSERT_EQ(i420->size(), 64u * 36 * 3 / 2);
    PixelBuffer back(64, 36);
    YuvConversion conversion;
    YuvConversion::Planes planes;
    planes.format = YuvConversion::Format::i420;
    planes.width = 64;
    planes.height = 36;
    planes.data[0] = i420->data();
    planes.data[1] = i420->data() + 64 * 36;
    planes.data[2] = i420->data() + 64 * 36 * 5 / 4;
    planes.stride[0] = 64;
    planes.stride[1] = planes.stride[2] = 32;
    ASSERT_TRUE(conversion.toBgra(planes, back));
    const uint8_t* p = back.row(18) + 32 * 4;
    EXPECT_NEAR(p[0], 40, 4);
    EXPECT_NEAR(p[1], 160, 4);
    EXPECT_NEAR(p[2], 220, 4);
    EXPECT_EQ(p[3], 255);
    EXPECT_FALSE(YuvConversion::toI420(PixelBuffer(63, 36))) << "odd sizes have no 4:2:0 form";
}

TEST(YuvConversionTest, CameraYuyvBecomesScaledBgra)
{
    // Limited-range mid grey with neutral chroma: Y 126, U = V = 128.
    std::vector<uint8_t> yuyv(32 * 16 * 2);
    for (size_t i = 0; i < yuyv.size(); i += 4) {
        yuyv[i] = 126;
        yuyv[i + 1] = 128;
        yuyv[i + 2] = 126;
        yuyv[i + 3] = 128;
    }
    YuvConversion::Planes planes;
    planes.format = YuvConversion::Format::yuyv422;
    planes.width = 32;
    planes.height = 16;
    planes.data[0] = yuyv.data();
    planes.stride[0] = 64;
    PixelBuffer picture(16, 8);
    YuvConversion conversion;
    ASSERT_TRUE(conversion.toBgra(planes, picture));
    const uint8_t* p = picture.row(4) + 8 * 4;
    EXPECT_NEAR(p[0], 128, 3);
    EXPECT_NEAR(p[1], 128, 3);
    EXPECT_NEAR(p[2], 128, 3);
    planes.width = 0;
    EXPECT_FALSE(conversion.toBgra(planes, picture));
}

} // namespace
