#pragma once

#include "platform/image/RoundedRectShape.h"
#include "platform/image/SerialRows.h"

#include <QPoint>
#include <QRect>

#include <opencv2/core/mat.hpp>

// Premultiplied BGRA (CV_8UC4) compositing on raster canvases. Pictures are placed at integer pixel
// positions of the destination and clipped to it. Large operations run row-parallel.
namespace ImageCompositing {

// `src` over `dst`, its alpha (and colour) multiplied by `alpha` first.
void over(cv::Mat& dst, const cv::Mat& src, QPoint at, double alpha = 1.0);

// `src` over `dst`, masked by a rounded rectangle given in destination pixels.
void overMasked(cv::Mat& dst, const cv::Mat& src, QPoint at, const RoundedRectShape& mask, double alpha = 1.0);

// Multiplies every channel by `alpha`: a colour matrix that scales only the alpha of a premultiplied picture.
void multiplyAlpha(cv::Mat& image, double alpha);

// Keeps `image` where `mask` (placed at `maskAt`, image pixels) has alpha, transparent elsewhere.
void blendWithAlphaMask(cv::Mat& image, const cv::Mat& mask, QPoint maskAt);

// Removes from `image` whatever `mask` (placed at `maskAt`) covers: source-out compositing.
void sourceOut(cv::Mat& image, const cv::Mat& mask, QPoint maskAt);

// Lowers colour channels above their alpha (after filters that can overshoot, like Lanczos or contrast).
void keepColourWithinAlpha(cv::Mat& image);

// Whether every pixel has full alpha.
bool isOpaque(const cv::Mat& image);

// Smallest rectangle holding every pixel with alpha above 0; empty for a transparent picture.
QRect contentBounds(const cv::Mat& image);

// Runs `body(rowBegin, rowEnd)` over `rows` rows, split across threads when the work is large enough.
template <typename Body>
void forRows(int rows, int pixelsPerRow, const Body& body);

} // namespace ImageCompositing

#include <opencv2/core/utility.hpp>

template <typename Body>
void ImageCompositing::forRows(int rows, int pixelsPerRow, const Body& body)
{
    if (rows <= 0)
        return;
    // Small pieces (sprites, ripples) are not worth waking the pool for.
    if (static_cast<long long>(rows) * pixelsPerRow < 32768 || SerialRows::active()) {
        body(0, rows);
        return;
    }
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) { body(range.start, range.end); });
}
