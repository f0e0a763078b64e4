#include "framing/LumaMap.h"

#include <algorithm>

LumaMap::Stats LumaMap::stats(const QRectF& rect, const std::optional<QRectF>& excluding) const
{
    std::vector<float> selected;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const double x = (column + 0.5) / width;
            const double y = (row + 0.5) / height;
            if (x < rect.left() || x > rect.right() || y < rect.top() || y > rect.bottom())
                continue;
            if (excluding && x >= excluding->left() && x < excluding->right() && y >= excluding->top()
                && y < excluding->bottom())
                continue;
            selected.push_back(values[static_cast<size_t>(row) * width + column]);
        }
    }
    if (selected.empty())
        return {};
    float sum = 0;
    for (float value : selected)
        sum += value;
    std::sort(selected.begin(), selected.end());
    const int count = static_cast<int>(selected.size());
    const int index = std::min(count - 1, static_cast<int>(static_cast<float>(count) * 0.9f));
    return {sum / static_cast<float>(count), selected[index], count};
}

LumaMap LumaMap::fromPixels(const uint8_t* pixels, int width, int height, size_t bytesPerRow, int redOffset,
    int greenOffset, int blueOffset)
{
    constexpr int cell = 8;
    LumaMap map;
    map.width = width >= cell ? width / cell : 1;
    map.height = height >= cell ? height / cell : 1;
    map.values.assign(static_cast<size_t>(map.width) * map.height, 0.0f);
    for (int row = 0; row < map.height; ++row) {
        const int yEnd = std::min(row * cell + cell, height);
        for (int column = 0; column < map.width; ++column) {
            const int xEnd = std::min(column * cell + cell, width);
            double sum = 0;
            int visited = 0;
            for (int y = row * cell; y < yEnd; y += 2) {
                const uint8_t* line = pixels + static_cast<size_t>(y) * bytesPerRow;
                for (int x = column * cell; x < xEnd; x += 2) {
                    const uint8_t* pixel = line + static_cast<size_t>(x) * 4;
                    sum += 0.2126 * pixel[redOffset] + 0.7152 * pixel[greenOffset] + 0.0722 * pixel[blueOffset];
                    ++visited;
                }
            }
            map.values[static_cast<size_t>(row) * map.width + column]
                = visited > 0 ? static_cast<float>(sum / visited / 255.0) : 0.0f;
        }
    }
    return map;
}
