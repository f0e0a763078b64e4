#pragma once

#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A coarse brightness grid of the analysed picture: row-major cells, each the mean luma (0...1) of its cell.
struct LumaMap {
    int width = 0;
    int height = 0;
    std::vector<float> values;

    struct Stats {
        float mean = 0;
        float bright = 0; // 0.9-quantile
        int count = 0;
    };

    // Cells whose centre lies in `rect` (edges included) and not in `excluding` (lower edges in, upper out).
    Stats stats(const QRectF& rect, const std::optional<QRectF>& excluding = std::nullopt) const;

    // 8x8-pixel cells sampled at every second pixel both ways; Rec. 709 weights. Pixels are 4 bytes with the
    // colour channels at redOffset/greenOffset/blueOffset. Partial cells at the right and bottom are not counted
    // unless the picture is narrower or shorter than one cell.
    static LumaMap fromPixels(const uint8_t* pixels, int width, int height, size_t bytesPerRow, int redOffset,
        int greenOffset, int blueOffset);

    bool operator==(const LumaMap&) const = default;
};
