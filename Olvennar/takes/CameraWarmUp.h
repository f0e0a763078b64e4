#pragma once

#include <deque>

class PixelBuffer;

// When a cold camera is ready to film. V4L2 does not say whether a camera still adjusts its exposure, so the
// picture tells: a camera has settled once the mean luma of its last three frames varies by less than 2 %.
namespace CameraWarmUp {

constexpr double longestSeconds = 3.0;
constexpr double shortestSeconds = 1.2;
constexpr double pollSeconds = 0.1;
constexpr double settledSpread = 0.02;

// Mean Rec. 709 luma (0...1) of a BGRA picture, sampled on a sparse grid.
double meanLuma(const PixelBuffer& frame);
// The last three readings (oldest first) lie within 2 % of the brightest; false with fewer than three.
bool settled(const std::deque<double>& lastReadings);

} // namespace CameraWarmUp
