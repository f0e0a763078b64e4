#pragma once

#include "takedata/BubbleShape.h"

#include <QPainterPath>
#include <QRectF>

// The camera bubble's outline, shared by the live bubble and the export mask so both agree. Coordinates
// are y-up: a positive tilt turns the outline counter-clockwise about the rect's centre.
namespace BubbleShapePath {
// "Rounded": a rounded rectangle with corner radii 0.22 × the shorter side; "Circle": the inscribed ellipse.
QPainterPath path(BubbleShape shape, const QRectF& rect, double tiltDegrees);
}
