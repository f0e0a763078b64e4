#pragma once

#include <QImage>

#include <algorithm>
#include <utility>
#include <vector>

// Whether a column of `image` holds ink in the rows [top, bottom).
inline bool inkedColumn(const QImage& image, int x, int top, int bottom, bool (*ink)(QRgb))
{
    for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y)
        if (ink(image.pixel(x, y)))
            return true;
    return false;
}

// The inked stretches of the rows [top, bottom), left to right, joined across gaps narrower than `gap`
// pixels: the words of one drawn line.
inline std::vector<std::pair<int, int>> inkRuns(const QImage& image, int top, int bottom, double gap, bool (*ink)(QRgb))
{
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.width(); ++x) {
        if (!inkedColumn(image, x, top, bottom, ink))
            continue;
        if (!runs.empty() && x - runs.back().second <= gap)
            runs.back().second = x;
        else
            runs.push_back({x, x});
    }
    return runs;
}
