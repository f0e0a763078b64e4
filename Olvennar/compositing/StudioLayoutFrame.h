#pragma once

#include <QRectF>

// The window and card of one layout state; the renderer mixes two of these while the layout morphs.
struct StudioLayoutFrame {
    QRectF windowRect;
    double windowRadius = 0;
    QRectF cardRect;
    double cardRadius = 0;
    double cardRim = 0;

    // Field-by-field a + t × (b − a); t is not clamped, so values outside 0…1 extrapolate.
    static StudioLayoutFrame lerp(const StudioLayoutFrame& a, const StudioLayoutFrame& b, double t);

    friend bool operator==(const StudioLayoutFrame&, const StudioLayoutFrame&) = default;
};
