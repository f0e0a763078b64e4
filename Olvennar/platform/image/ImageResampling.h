#pragma once

#include <QRect>
#include <QTransform>

#include <opencv2/core/mat.hpp>

#include <functional>
#include <optional>

// Scaled and moved copies of premultiplied BGRA pictures.
namespace ImageResampling {

enum class Filter { linear, lanczos };

// Draws `source` mapped by `toTarget` (an axis-aligned scale and offset in continuous pixel coordinates,
// pixel (i, j) spanning [i, i+1] × [j, j+1]) and writes the target rectangle `area` into `out` (resized
// to the area). Shrinking averages the covered area, so downsampling does not alias; enlarging is linear,
// or Lanczos with Filter::lanczos. Target
// pixels mapped from outside the source are transparent, or repeat the nearest edge pixel with
// `clampEdges`. Only the part of the source under `area` is read.
void draw(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, Filter filter,
    bool clampEdges = false);

// The same, handing the drawn rows over a chunk at a time while they are still in the cache: `rows` holds
// target rows [first, first + rows.rows) of `area`. Chunks end on even target rows, so no 2×2 block of the
// target falls in two of them. `out` is scratch, overwritten chunk by chunk.
using RowsDrawn = std::function<void(const cv::Mat& rows, int first)>;
void drawInRows(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, Filter filter, bool clampEdges,
    const RowsDrawn& drawn);
// Rows a chunk holds at most, and where the chunk that starts at row `from` of `area` ends.
constexpr int chunkRows = 32;
int chunkEnd(const QRect& area, int from);

// The same for one 8-bit plane (CV_8UC1: a luma or chroma plane), always area when shrinking; enlarging is
// linear, or Lanczos with Filter::lanczos. Pixels mapped from outside the source are 0, or repeat the nearest
// edge with `clampEdges`.
void drawPlane(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, bool clampEdges = false,
    Filter filter = Filter::linear);

// The target pixels a mapped source can touch (its mapped rectangle, rounded outward).
QRect mappedBounds(const cv::Size& sourceSize, const QTransform& toTarget);

// The source pixels that drawing the target rectangle `area` may read, the filters' reach included, kept
// inside the source. Null when part of the area maps beside the source.
std::optional<QRect> readBounds(const cv::Size& sourceSize, const QTransform& toTarget, const QRect& area);

} // namespace ImageResampling
