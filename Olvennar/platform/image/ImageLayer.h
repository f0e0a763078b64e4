#pragma once

#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferViews.h"

#include <QPoint>
#include <QRect>

#include <opencv2/core/mat.hpp>

// A premultiplied BGRA picture placed on a raster canvas: `origin` is the canvas pixel (top-left origin,
// y down) of the picture's first pixel. Pre-baked pieces keep only the pixels they cover, so a shadow
// or a rim costs its own area, not the canvas's.
struct ImageLayer {
    PixelBuffer pixels{0, 0};
    QPoint origin;

    bool isEmpty() const { return pixels.isEmpty(); }
    QRect rect() const { return {origin.x(), origin.y(), pixels.width(), pixels.height()}; }
    cv::Mat mat() const { return PixelBufferViews::mat(pixels); }
    cv::Mat mat() { return PixelBufferViews::mat(pixels); }
};
