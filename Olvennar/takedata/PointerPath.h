#pragma once

#include "takedata/Click.h"
#include "takedata/CursorShape.h"

#include <QPointF>

#include <cstddef>
#include <optional>
#include <vector>

// The take's pointer track resampled at 120 points a second from `start` and smoothed, with the cursor
// shape in force over time. Positions are capture fractions, origin bottom-left.
struct PointerPath {
    struct ShapeKey {
        double time = 0;
        CursorShape shape = CursorShape::arrow;
    };

    static constexpr double rate = 120.0;
    // Samples outside this window of take seconds are ignored, so one absurd timestamp cannot make the
    // resampled track unbounded.
    static constexpr double earliestSampleTime = -1.0;
    static constexpr double latestSampleTime = 24.0 * 3600.0;
    // The most points fromSamples makes: samples the whole window apart, one more for rounding.
    static constexpr size_t largestCount = static_cast<size_t>((latestSampleTime - earliestSampleTime) * rate) + 2;

    double start = 0;
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<ShapeKey> shapeKeys;

    // Samples are [t, x, y, ...]; nothing when no usable sample remains.
    static std::optional<PointerPath> fromSamples(const std::vector<std::vector<double>>& samples);
    // A path that travels from click to click.
    static std::optional<PointerPath> fromClicks(const std::vector<Click>& clicks);
    // The samples fromClicks resamples: each click, and 13 smootherstep steps arriving 0.08 s before it.
    static std::vector<std::vector<double>> clickSamples(const std::vector<Click>& clicks);

    std::optional<QPointF> position(double t) const;
    CursorShape shape(double t) const;
};
