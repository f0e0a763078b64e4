#pragma once

#include <QPointF>
#include <QRectF>
#include <QTransform>

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

} // namespace RasterFlip
