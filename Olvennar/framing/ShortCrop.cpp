#include "framing/ShortCrop.h"

#include <algorithm>
#include <cmath>

namespace ShortFraming {

QRectF cropRect(const QSizeF& frame, const Position& position)
{
    constexpr double aspect = 0.5625;
    const double width = frame.width();
    const double height = frame.height();
    if (!(width >= 2) || !(height >= 2))
        return QRectF(0, 0, 0, 0);
    double wantedWidth = aspect * height;
    double wantedHeight = height;
    if (width < aspect * height) {
        wantedWidth = width;
        wantedHeight = width / aspect;
    }
    auto evenRounded = [](double side) { return std::max(2.0, 2 * std::round(side / 2)); };
    auto evenFloor = [](double side) { return std::max(2.0, 2 * std::floor(side / 2)); };
    const double cropWidth = std::min(evenRounded(wantedWidth), evenFloor(width));
    const double cropHeight = std::min(evenRounded(wantedHeight), evenFloor(height));
    auto unit = [](double value) { return value > 0 ? std::min(value, 1.0) : 0.0; }; // NaN → 0
    const double x = std::round((width - cropWidth) * unit(position.x));
    const double y = std::round((height - cropHeight) * unit(position.y));
    return QRectF(x, y, cropWidth, cropHeight);
}

} // namespace ShortFraming
