#pragma once

#include <QPointF>
#include <QRectF>

// X11 root coordinates (origin top-left, y down) to the desktop coordinates the trackers keep (origin
// bottom-left, y up). A pixel at row y spans y..y+1 downwards, i.e. H−y−1..H−y upwards; a pointer position is
// the bottom-left corner of its pixel, so a pointer anywhere on a W × H display lies in [0, W) × [0, H) of the
// display's rectangle, just as its clicks must.
namespace RootCoordinates {
QPointF point(int x, int y, int rootHeight);
QRectF rect(int x, int y, int width, int height, int rootHeight);
QRectF rect(const QRectF& area, int rootHeight);
}
