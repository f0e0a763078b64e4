#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>

#include <optional>

// Where a screen take looks and how big its picture is. Rectangles are in the display's own units with the
// display's origin; X11 displays have a backing scale of 1.
namespace ScreenGeometry {
// The largest centred 16:9 rectangle of a width × height display.
QRectF sourceRect(double width, double height);
// What a screen take films of a display: its source rectangle in desktop coordinates (origin top-left, y
// down). Everything measured against the movie (clicks, pointer, panels) is measured against this.
QRectF filmedRect(const QRect& displayFrame);
// Pixels of the source rectangle at the scale, capped to the height when it is smaller, both sides even
// (lowest bit cleared).
QSize outputSize(const QRectF& source, double scale, std::optional<int> targetHeight);
}
