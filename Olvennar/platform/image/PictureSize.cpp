#include "platform/image/PictureSize.h"

#include <cmath>

bool PictureSize::fits(double width, double height, int bytesPerPixel)
{
    if (!std::isfinite(width) || !std::isfinite(height) || bytesPerPixel < 1)
        return false;
    const double w = std::ceil(width), h = std::ceil(height);
    return w >= 1 && h >= 1 && w * h * bytesPerPixel <= largestBytes;
}

QImage PictureSize::image(double width, double height, QImage::Format format)
{
    if (!fits(width, height, QImage::toPixelFormat(format).bitsPerPixel() / 8))
        return {};
    // A null image when Qt cannot allocate it either.
    return QImage(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)), format);
}
