#include "framing/LumaMap.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// BGRA pixels, 4 bytes each, rows of exactly 4 x width bytes.
std::vector<uint8_t> pixels(int width, int height, uint8_t blue, uint8_t green, uint8_t red)
{
    std::vector<uint8_t> data(static_cast<size_t>(width) * height * 4, 255);
    for (size_t index = 0; index < data.size(); index += 4) {
        data[index] = blue;
        data[index + 1] = green;
        data[index + 2] = red;
    }
    return data;
}

LumaMap fromBgra(const std::vector<uint8_t>& data, int width, int height)
{
    return LumaMap::fromPixels(data.data(), width, height, static_cast<size_t>(width) * 4, 2, 1, 0);
}

TEST(LumaMapTest, CellsOfEightPixelsWithRec709WeightsAndPartialCellsLeftOut)
{
    // 20x20: 2x2 cells; the last 4 columns and rows are bright but not counted.
    std::vector<uint8_t> data = pixels(20, 20, 0, 0, 0);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            if (x >= 16 || y >= 16)
                std::fill_n(data.begin() + (y * 20 + x) * 4, 3, uint8_t(255));
        }
    }
    // Only the red channel of the top-left cell's sampled pixels (even x, even y) is lit.
    for (int y = 0; y < 8; y += 2) {
        for (int x = 0; x < 8; x += 2)
            data[(y * 20 + x) * 4 + 2] = 255;
    }
    const LumaMap map = fromBgra(data, 20, 20);
    ASSERT_EQ(map.width, 2);
    ASSERT_EQ(map.height, 2);
    EXPECT_NEAR(map.values[0], 0.2126f, 1e-6);
    EXPECT_EQ(map.values[1], 0.0f);
    EXPECT_EQ(map.values[3], 0.0f);

    const LumaMap green = fromBgra(pixels(8, 8, 0, 255, 0), 8, 8);
    EXPECT_NEAR(green.values[0], 0.7152f, 1e-6);
    // Narrower than a cell: one cell over all of it.
    const LumaMap narrow = fromBgra(pixels(5, 3, 255, 0, 0), 5, 3);
    ASSERT_EQ(narrow.values.size(), 1u);
    EXPECT_NEAR(narrow.values[0], 0.0722f, 1e-6);
}

} // namespace
