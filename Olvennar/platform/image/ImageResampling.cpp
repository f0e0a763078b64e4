#include "platform/image/ImageResampling.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The source pixels needed for a target area, grown by `margin` and kept inside the source.
cv::Rect sourceWindow(const cv::Size& size, const QTransform& toTarget, const QRect& area, double margin)
{
    const QTransform back = toTarget.inverted();
    const QRectF needed = back.mapRect(QRectF(area.x(), area.y(), area.width(), area.height()));
    int x0 = static_cast<int>(std::floor(needed.left() - margin));
    int y0 = static_cast<int>(std::floor(needed.top() - margin));
    int x1 = static_cast<int>(std::ceil(needed.right() + margin));
    int y1 = static_cast<int>(std::ceil(needed.bottom() + margin));
    x0 = std::clamp(x0, 0, size.width);
    y0 = std::clamp(y0, 0, size.height);
    x1 = std::clamp(x1, 0, size.width);
    y1 = std::clamp(y1, 0, size.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace

QRect ImageResampling::mappedBounds(const cv::Size& sourceSize, const QTransform& toTarget)
{
    const QRectF mapped = toTarget.mapRect(QRectF(0, 0, sourceSize.width, sourceSize.height));
    const int x0 = static_cast<int>(std::floor(mapped.left()));
    const int y0 = static_cast<int>(std::floor(mapped.top()));
    const int x1 = static_cast<int>(std::ceil(mapped.right()));
    const int y1 = static_cast<int>(std::ceil(mapped.bottom()));
    return {x0, y0, x1 - x0, y1 - y0};
}

void ImageResampling::draw(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, Filter filter,
    bool clampEdges)
{
    if (area.isEmpty()) {
        out.release();
        return;
    }
    out.create(area.height(), area.width(), CV_8UC4);
    const double sx = std::abs(toTarget.m11());
    const double sy = std::abs(toTarget.m22());
    if (source.empty() || !(sx > 0) || !(sy > 0) || !toTarget.isInvertible()) {
        out.setTo(cv::Scalar::all(0));
        return;
    }
    const double margin = 4 + 2 / std::min({sx, sy, 1.0});
    cv::Rect window = sourceWindow(source.size(), toTarget, area, margin);
    if (window.width <= 0 || window.height <= 0) {
        if (!clampEdges) {
            out.setTo(cv::Scalar::all(0));
            return;
        }
        // Wholly beside the source: the nearest edge pixels repeat.
        window = cv::Rect(0, 0, source.cols, source.rows);
    }
    // Continuous mapping from window coordinates to area coordinates.
    QTransform map = QTransform::fromTranslate(window.x, window.y) * toTarget * QTransform::fromTranslate(-area.x(), -area.y());
    cv::Mat input = source(window);
    cv::Mat shrunk;
    if (sx < 1 || sy < 1) {
        const int w = std::max(1, static_cast<int>(std::lround(window.width * std::min(sx, 1.0))));
        const int h = std::max(1, static_cast<int>(std::lround(window.height * std::min(sy, 1.0))));
        cv::resize(input, shrunk, cv::Size(w, h), 0, 0, cv::INTER_AREA);
        map = QTransform::fromScale(static_cast<double>(window.width) / w, static_cast<double>(window.height) / h) * map;
        input = shrunk;
    }
    // Index mapping (pixel centres at i + 0.5), inverted for warpAffine.
    const QTransform indexMap = QTransform::fromTranslate(0.5, 0.5) * map * QTransform::fromTranslate(-0.5, -0.5);
    const QTransform back = indexMap.inverted();
    const cv::Matx23d inverse(back.m11(), back.m21(), back.dx(), back.m12(), back.m22(), back.dy());
    const bool upscaling = map.m11() > 1.001 || map.m22() > 1.001;
    const int interpolation = (filter == Filter::lanczos && upscaling) ? cv::INTER_LANCZOS4 : cv::INTER_LINEAR;
    cv::warpAffine(input, out, inverse, out.size(), interpolation | cv::WARP_INVERSE_MAP,
        clampEdges ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT, cv::Scalar::all(0));
    if (interpolation == cv::INTER_LANCZOS4) {
        // Lanczos rings past the alpha of premultiplied pixels; keep colour within alpha.
        for (int y = 0; y < out.rows; ++y) {
            uint8_t* row = out.ptr<uint8_t>(y);
            for (int x = 0; x < out.cols; ++x) {
                uint8_t* p = row + 4 * x;
                p[0] = std::min(p[0], p[3]);
                p[1] = std::min(p[1], p[3]);
                p[2] = std::min(p[2], p[3]);
            }
        }
    }
}
