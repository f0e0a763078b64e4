#pragma once

#include <QRect>
#include <QRectF>

// A rounded rectangle in raster coordinates (pixel (i, j) spans [i, i+1] × [j, j+1]) with analytic edge
// coverage: the signed distance from each pixel centre gives the covered share, so edges and corners are
// smooth without supersampling.
struct RoundedRectShape {
    double centerX = 0;
    double centerY = 0;
    double halfWidth = 0;
    double halfHeight = 0;
    double radius = 0;

    // The radius is kept within half the shorter side; negative sizes give an empty shape.
    static RoundedRectShape make(const QRectF& rect, double radius);

    bool isEmpty() const { return !(halfWidth > 0) || !(halfHeight > 0); }
    // Covered share (0…1) of the pixel whose centre is (px, py).
    float coverage(double px, double py) const;
    // Pixels that may be touched, grown by one for the soft edge.
    QRect pixelBounds() const;
    // Whether the row with centre py lies beside the straight left and right edges (no corner there).
    bool isStraightRow(double py) const;
    // The pixels [from, to] of the row with centre py whose coverage is the one value `value` (beside the
    // straight edges, or between the corners), a pixel in from each end so rounding there cannot matter;
    // empty when from > to.
    struct Span {
        int from = 0;
        int to = -1;
        float value = 0;
    };
    Span evenSpan(double py) const;
    double left() const { return centerX - halfWidth; }
    double right() const { return centerX + halfWidth; }
};
