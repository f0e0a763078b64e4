#include "shorts/CropRenderer.h"

#include "platform/media/PixelBuffer.h"

#include <cstring>

CropRenderer::CropRenderer(QSize frame, QRect crop, QSize output)
    : frame_(frame)
    , crop_(crop)
    , output_(output)
{
}

double CropRenderer::scale() const { return crop_.height() > 0 ? static_cast<double>(output_.height()) / crop_.height() : 0.0; }

double CropRenderer::aspect() const
{
    const double vertical = scale();
    return vertical > 0 && crop_.width() > 0 ? static_cast<double>(output_.width()) / crop_.width() / vertical : 0.0;
}

bool CropRenderer::render(const PixelBuffer& raw, PixelBuffer& out) const
{
    if (crop_.width() < 1 || crop_.height() < 1 || output_.width() < 1 || output_.height() < 1 || raw.width() < crop_.right() + 1
        || raw.height() < crop_.bottom() + 1 || out.width() < crop_.width() || out.height() < crop_.height())
        return false;
    const size_t rowBytes = static_cast<size_t>(crop_.width()) * PixelBuffer::bytesPerPixel;
    for (int y = 0; y < crop_.height(); ++y)
        std::memcpy(out.row(y), raw.row(crop_.y() + y) + static_cast<size_t>(crop_.x()) * PixelBuffer::bytesPerPixel, rowBytes);
    return true;
}
