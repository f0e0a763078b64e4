#include "platform/image/RoundedRectShape.h"

#include <algorithm>
#include <cmath>

RoundedRectShape RoundedRectShape::make(const QRectF& rect, double radius)
{
    RoundedRectShape shape;
    shape.halfWidth = std::max(rect.width() / 2, 0.0);
    shape.halfHeight = std::max(rect.height() / 2, 0.0);
    shape.centerX = rect.x() + rect.width() / 2;
    shape.centerY = rect.y() + rect.height() / 2;
    shape.radius = std::clamp(radius, 0.0, std::min(shape.halfWidth, shape.halfHeight));
    return shape;
}

float RoundedRectShape::coverage(double px, double py) const
{
    const double qx = std::abs(px - centerX) - (halfWidth - radius);
    const double qy = std::abs(py - centerY) - (halfHeight - radius);
    const double distance = (qx > 0 && qy > 0 ? std::sqrt(qx * qx + qy * qy) : std::max(qx, qy)) - radius;
    // A shape narrower than a pixel covers at most its own width of it.
    const double cover = std::clamp(0.5 - distance, 0.0, 1.0);
    return static_cast<float>(std::min({cover, 2 * halfWidth, 2 * halfHeight}));
}

QRect RoundedRectShape::pixelBounds() const
{
    if (isEmpty())
        return {};
    const int x0 = static_cast<int>(std::floor(centerX - halfWidth)) - 1;
    const int y0 = static_cast<int>(std::floor(centerY - halfHeight)) - 1;
    const int x1 = static_cast<int>(std::ceil(centerX + halfWidth)) + 1;
    const int y1 = static_cast<int>(std::ceil(centerY + halfHeight)) + 1;
    return {x0, y0, x1 - x0, y1 - y0};
}

bool RoundedRectShape::isStraightRow(double py) const
{
    return std::abs(py - centerY) <= halfHeight - radius - 0.5;
}

RoundedRectShape::Span RoundedRectShape::evenSpan(double py) const
{
    if (isEmpty() || 2 * halfWidth < 1 || 2 * halfHeight < 1)
        return {};
    if (isStraightRow(py))
        return {static_cast<int>(std::ceil(left())) + 1, static_cast<int>(std::floor(right() - 1)) - 1, 1.0f};
    // Between the corners the distance is the row's own.
    const double reach = halfWidth - radius;
    return {static_cast<int>(std::ceil(centerX - reach - 0.5)) + 1, static_cast<int>(std::floor(centerX + reach - 0.5)) - 1,
        coverage(centerX, py)};
}
