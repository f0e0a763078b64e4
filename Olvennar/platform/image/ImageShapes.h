#pragma once

#include "platform/image/RoundedRectShape.h"

#include <QPoint>

#include <opencv2/core/mat.hpp>

#include <functional>
#include <optional>

// Rounded-rectangle fills and strokes with analytic edges, composited over a premultiplied BGRA picture.
// `origin` is where the picture lies on the canvas the shapes are given in.
namespace ImageShapes {

// A straight colour; components 0…1, not premultiplied.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
};

void fillRoundedRect(cv::Mat& image, QPoint origin, const RoundedRectShape& shape, const Color& color);

// The ring between `outer` and `inner` (inner inside outer); `rowAlpha`, given a canvas row's centre y,
// fades the ring row by row (a vertical gradient mask).
void fillRing(cv::Mat& image, QPoint origin, const RoundedRectShape& outer, const RoundedRectShape& inner, const Color& color,
    const std::function<double(double)>& rowAlpha = {});

// A stroke of `width` centred on the outline of `rect` with `radius`.
void strokeRoundedRect(cv::Mat& image, QPoint origin, const QRectF& rect, double radius, double width, const Color& color,
    const std::function<double(double)>& rowAlpha = {});

} // namespace ImageShapes

namespace ImageShapes {
// Keeps `image` only inside the shape (multiplies every pixel by its coverage).
void maskToRoundedRect(cv::Mat& image, QPoint origin, const RoundedRectShape& shape);
} // namespace ImageShapes
