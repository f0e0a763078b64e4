#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QTransform>

#include <cmath>

// The one place where render space (origin bottom-left, y up) meets raster pixels (row 0 on top).
namespace RasterFlip {

inline QRectF rect(const QRectF& r, double canvasHeight) { return {r.x(), canvasHeight - r.y() - r.height(), r.width(), r.height()}; }
inline QPointF point(QPointF p, double canvasHeight) { return {p.x(), canvasHeight - p.y()}; }
inline QTransform flip(double height) { return QTransform(1, 0, 0, -1, 0, height); }
// A render-space mapping from a y-up source of `sourceHeight` onto the canvas, as raster to raster.
inline QTransform transform(const QTransform& t, double sourceHeight, double canvasHeight)
{
    return flip(sourceHeight) * t * flip(canvasHeight);
}

// The whole pixels a raster rectangle touches.
inline QRect pixelsTouched(const QRectF& r)
{
    const int x0 = static_cast<int>(std::floor(r.left()));
    const int y0 = static_cast<int>(std::floor(r.top()));
    return {x0, y0, static_cast<int>(std::ceil(r.right())) - x0, static_cast<int>(std::ceil(r.bottom())) - y0};
}

// The whole pixels a raster rounded rectangle covers fully: inside its corners by a pixel.
inline QRect pixelsInside(const QRectF& r, double radius)
{
    const double inset = radius * (1 - M_SQRT1_2) + 1;
    const QRectF inner = r.adjusted(inset, inset, -inset, -inset);
    return QRect(QPoint(static_cast<int>(std::ceil(inner.left())), static_cast<int>(std::ceil(inner.top()))),
        QPoint(static_cast<int>(std::floor(inner.right())) - 1, static_cast<int>(std::floor(inner.bottom())) - 1));
}

} // namespace RasterFlip
