#include "platform/input/RootCoordinates.h"

namespace RootCoordinates {

QPointF point(int x, int y, int rootHeight) { return QPointF(x, rootHeight - 1 - y); }

QRectF rect(int x, int y, int width, int height, int rootHeight)
{
    return QRectF(x, rootHeight - (y + height), width, height);
}

} // namespace RootCoordinates
