#pragma once

#include "takedata/BubbleShape.h"

#include <QPainterPath>
#include <QRectF>

// The camera bubble's outline, shared by the live bubble and the export mask so both agree. Coordinates
// are y-up: a positive tilt turns the outline counter-clockwise about the rect's centre.
namespace BubbleShapePath {
// "Rounded": a rounded rectangle with corner radii 0.22 × the shorter side; "Circle": the inscribed ellipse.
QPainterPath path(BubbleShape shape, const QRectF& rect, double tiltDegrees);
// The corner radius of a bubble whose shorter side is `side`, times `scale` (a panel measured in one space
// and drawn in another): 0.22 × side for "Rounded", half the side for "Circle".
double cornerRadius(BubbleShape shape, double side, double scale = 1);
}
