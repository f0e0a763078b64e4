#include "capture/ScreenGeometry.h"

#include <cmath>

namespace ScreenGeometry {

QRectF sourceRect(double width, double height)
{
    if (width <= 0 || height <= 0)
        return {};
    if (width / height > 16.0 / 9.0) {
        const double w = height * 16.0 / 9.0;
        return QRectF((width - w) * 0.5, 0, w, height);
    }
    const double h = width * 9.0 / 16.0;
    return QRectF(0, (height - h) * 0.5, width, h);
}

QRectF filmedRect(const QRect& frame)
{
    return sourceRect(frame.width(), frame.height()).translated(frame.topLeft());
}

QSize outputSize(const QRectF& source, double scale, std::optional<int> targetHeight)
{
    // std::round rounds halves away from zero.
    double width = std::round(scale * source.width());
    double height = std::round(scale * source.height());
    if (targetHeight && *targetHeight > 0 && *targetHeight < height) {
        width = std::round(*targetHeight / height * width);
        height = *targetHeight;
    }
    const int w = static_cast<int>(width) & ~1;
    const int h = static_cast<int>(height) & ~1;
    return {w, h};
}

} // namespace ScreenGeometry
