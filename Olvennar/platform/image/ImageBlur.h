#pragma once

#include <opencv2/core/mat.hpp>

// Gaussian blur of a premultiplied BGRA picture, in place. Large sigmas (room glows, shadows) blur a
// reduced copy and scale it back, which costs a small fraction of a full-size kernel and looks the same on
// such smooth results.
namespace ImageBlur {

// clampEdges: the edge pixels continue past the picture; otherwise outside is transparent.
void gaussian(cv::Mat& image, double sigma, bool clampEdges);

} // namespace ImageBlur
