#include "platform/input/RootCoordinates.h"

namespace RootCoordinates {

QPointF point(int x, int y, int rootHeight) { return QPointF(x, rootHeight - 1 - y); }

QRectF rect(int x, int y, int width, int height, int rootHeight) { return rect(QRectF(x, y, width, height), rootHeight); }

QRectF rect(const QRectF& area, int rootHeight)
{
    return QRectF(area.x(), rootHeight - (area.y() + area.height()), area.width(), area.height());
}

} // namespace RootCoordinates
