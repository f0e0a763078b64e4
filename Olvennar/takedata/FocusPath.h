#pragma once

#include <QRectF>

#include <vector>

// The front window's rectangle over a take (capture fractions, y from the bottom), changing smoothly.
struct FocusPath {
    struct Key {
        double time = 0;
        QRectF rect;
    };

    static constexpr double minimumArea = 0.2;
    static constexpr double maximumArea = 0.85;
    static constexpr double minimumDwell = 1.0;
    static constexpr double blendSeconds = 0.6;

    std::vector<Key> keys;

    // Records are [t, x, y, w, h]; the first key is always (−∞, unit rectangle).
    explicit FocusPath(const std::vector<std::vector<double>>& windows = {});
    QRectF rect(double t) const;

private:
    // rect(t) as if only the first `keyCount` keys existed.
    QRectF rect(double t, size_t keyCount) const;
};
