#pragma once

#include "platform/media/PixelBuffer.h"

#include <QImage>
#include <opencv2/core/mat.hpp>

// Zero-copy views of a PixelBuffer. The view borrows the pixels: it must not outlive the buffer.
namespace PixelBufferViews {

inline cv::Mat mat(PixelBuffer& buffer)
{
    return cv::Mat(buffer.height(), buffer.width(), CV_8UC4, buffer.data(), buffer.bytesPerRow());
}

inline cv::Mat mat(const PixelBuffer& buffer)
{
    return cv::Mat(buffer.height(), buffer.width(), CV_8UC4, const_cast<uint8_t*>(buffer.data()), buffer.bytesPerRow());
}

// BGRA premultiplied in memory is QImage's ARGB32_Premultiplied on little-endian machines.
inline QImage image(PixelBuffer& buffer)
{
    return QImage(buffer.data(), buffer.width(), buffer.height(), static_cast<qsizetype>(buffer.bytesPerRow()),
        QImage::Format_ARGB32_Premultiplied);
}

inline QImage image(const PixelBuffer& buffer)
{
    return QImage(buffer.data(), buffer.width(), buffer.height(), static_cast<qsizetype>(buffer.bytesPerRow()),
        QImage::Format_ARGB32_Premultiplied);
}

} // namespace PixelBufferViews
