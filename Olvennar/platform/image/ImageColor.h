#pragma once

#include "platform/media/PlanarCanvas.h"

#include <QPointF>

#include <opencv2/core/mat.hpp>

// Colour adjustments of premultiplied BGRA pictures, in place. They are meant for opaque pictures (camera
// frames); partly transparent pixels are adjusted as their premultiplied values and kept within alpha.
namespace ImageColor {

// Exposure in stops, applied in linear light.
void exposure(cv::Mat& image, double ev);

// Re-balances white from `neutral` to `targetNeutral` (each: colour temperature in kelvin, tint); a lower
// target temperature warms the picture. Brightness is kept.
void temperatureAndTint(cv::Mat& image, QPointF neutral, QPointF targetNeutral);

// Saturation around each pixel's luma, then brightness (added) and contrast (around mid grey).
void colorControls(cv::Mat& image, double contrast, double saturation, double brightness);

// Unsharp masking of the luminance only: colours do not fringe.
void sharpenLuminance(cv::Mat& image, double sharpness, double radius);
// The same unsharp masking on a luma plane (CV_8UC1, limited range).
void sharpenLuma(cv::Mat& luma, double sharpness, double radius);

// Exposure, white balance and colour controls in one pass, for pictures without transparency (the camera
// grade): the same result as the three filters in that order.
struct Grade {
    double ev = 0;
    QPointF neutral{6500, 0};
    QPointF targetNeutral{6500, 0};
    double contrast = 1;
    double saturation = 1;
    double brightness = 0;
};
void applyGrade(cv::Mat& image, const Grade& grade);
// The same grade on opaque 4:2:0 planes (BT.709 limited range): each pixel graded as the BGRA way grades the
// pixel a decoder's conversion makes of it (its luma, its block's chroma), and each block's chroma taken
// from the average of its graded pixels, as the encoder's conversion takes it.
void applyGrade(const PlanarCanvas& planes, const Grade& grade);

// Linear-light white of a colour temperature (kelvin), normalised so green is 1.
cv::Vec3d whitePoint(double kelvin);

} // namespace ImageColor
