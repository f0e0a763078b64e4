#include "compositing/BubbleShapePath.h"

#include <QTransform>

#include <algorithm>
#include <cmath>

namespace BubbleShapePath {

QPainterPath path(BubbleShape shape, const QRectF& rect, double tiltDegrees)
{
    QPainterPath outline;
    if (shape == BubbleShape::square) {
        const double radius = cornerRadius(shape, std::min(rect.width(), rect.height()));
        outline.addRoundedRect(rect, radius, radius);
    } else {
        outline.addEllipse(rect);
    }
    // A tilt that cannot be turned into a transform leaves the outline untilted.
    if (tiltDegrees == 0 || !std::isfinite(tiltDegrees))
        return outline;
    const QPointF centre = rect.center();
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.rotate(tiltDegrees);
    transform.translate(-centre.x(), -centre.y());
    return transform.map(outline);
}

double cornerRadius(BubbleShape shape, double side, double scale)
{
    return scale * (shape == BubbleShape::square ? 0.22 : 0.5) * side;
}

} // namespace BubbleShapePath
