#pragma once

#include <QRectF>

#include <algorithm>

// Edges of a render-space rectangle, origin bottom-left and y up. QRectF's own top()/bottom() read the
// other way round, so geometry code goes through these.
namespace RenderRect {
inline double minX(const QRectF& r) { return r.x(); }
inline double maxX(const QRectF& r) { return r.x() + r.width(); }
inline double minY(const QRectF& r) { return r.y(); }
inline double maxY(const QRectF& r) { return r.y() + r.height(); }
inline double midX(const QRectF& r) { return r.x() + r.width() / 2; }
inline double midY(const QRectF& r) { return r.y() + r.height() / 2; }
// The overlap of two rectangles; empty (zero size) when they do not overlap.
inline QRectF intersection(const QRectF& a, const QRectF& b)
{
    const double x0 = std::max(minX(a), minX(b));
    const double y0 = std::max(minY(a), minY(b));
    const double x1 = std::min(maxX(a), maxX(b));
    const double y1 = std::min(maxY(a), maxY(b));
    if (!(x1 > x0) || !(y1 > y0))
        return {};
    return {x0, y0, x1 - x0, y1 - y0};
}
} // namespace RenderRect
