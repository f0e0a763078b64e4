#pragma once

#include "platform/image/ImageLayer.h"

#include <QPainterPath>
#include <QSizeF>

// Alpha masks from outlines: white where the path is (non-zero winding), transparent elsewhere.
namespace ShapeMasking {

// The path is in render space (origin bottom-left, one unit a pixel) of a canvas of `size` (each side at
// least one pixel). Only the part of the canvas the path touches is kept; a path wholly outside gives a
// one-pixel transparent mask.
ImageLayer alphaMask(QSizeF size, const QPainterPath& path);

QPainterPath roundedRectPath(const QRectF& rect, double radius);

} // namespace ShapeMasking
