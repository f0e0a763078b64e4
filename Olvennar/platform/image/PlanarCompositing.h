#pragma once

#include "platform/media/PlanarCanvas.h"
#include "platform/image/RoundedRectShape.h"

#include <QPoint>
#include <QTransform>

#include <functional>

#include <opencv2/core/mat.hpp>

// Premultiplied BGRA pieces composited straight into 4:2:0 planes, with the BT.709 limited-range matrix the
// encoders' conversion uses. Over is linear, so a piece's premultiplied colour is carried into Y, Cb and Cr
// (offsets scaled by its alpha) and each plane is blended with the same alpha: luma per pixel, chroma with
// the colour and alpha averaged over each 2×2 block (pixels of the block outside the piece count as clear).
// Drawing a frame this way gives what drawing it in BGRA and converting would, within rounding, except where
// colour changes sharply inside a 2×2 block.
namespace PlanarCompositing {

// `piece` (CV_8UC4) over `canvas` with its top-left at `at`, its alpha multiplied by `alpha` first; clipped.
void over(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, double alpha = 1.0);

// The same, every pixel of the piece first multiplied by its coverage of `mask` (canvas pixels).
void overMasked(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, const RoundedRectShape& mask);

// The coverage (0…1) of each pixel of one canvas row: row `y`, columns [x0, x0 + count) into `out`.
using RowCoverage = std::function<void(int y, int x0, int count, float* out)>;

// An opaque piece already in planes (luma of the piece's size, chroma of its blocks) mixed into the canvas
// at `at`, which lies on even pixels: each pixel weighed by its coverage, luma per pixel, chroma by the
// coverage averaged over its block (pixels of the block outside the piece count as uncovered). No coverage:
// the piece replaces what is under it. Clipped to the canvas.
void mixOpaque(const PlanarCanvas& canvas, const PlanarView& piece, QPoint at, const RowCoverage& coverage = {});

// A premultiplied BGRA piece that never changes (a baked shadow), turned once into what compositing it puts in
// each plane (its colour, offsets included) and what it keeps of the canvas there, on whole 2×2 blocks: then
// compositing it costs one multiply-add a sample, and gives what `over` gives for the same piece within a
// level. Luma, read most, is kept in bytes: its value in whole levels and the pixel's own alpha.
struct PreparedPiece {
    QRect rect; // canvas pixels, on even pixels; pixels beyond the piece's own are clear
    cv::Mat value[3]; // luma of rect's size (CV_8U, levels), chroma of its blocks (CV_16U, in 1/128 of a level)
    cv::Mat keep[2]; // luma: the alpha (CV_8U, 0…255); both chroma planes: what is kept (CV_16U, in 1/32768)
    bool isEmpty() const { return rect.isEmpty(); }
};
PreparedPiece prepare(const cv::Mat& piece, QPoint at);
// The prepared piece over the canvas, only inside `area` (clipped to the piece and the canvas), which must
// cover whole 2×2 blocks once clipped: even edges, on a canvas of even size. Anything else draws nothing.
void over(const PlanarCanvas& canvas, const PreparedPiece& piece, const QRect& area);

// An opaque BGRA picture in planes of its size.
PlanarImage fromBgra(const cv::Mat& picture);

// Every pixel of `area` (canvas pixels) set to one straight colour (components 0…255).
void fill(const PlanarCanvas& canvas, const QRect& area, uint8_t red, uint8_t green, uint8_t blue);

// A map of luma pixels turned into the same map of chroma samples (a sample spans two pixels each way).
QTransform chromaMap(const QTransform& lumaMap);

// The part `rect` (piece pixels, on even pixels) of opaque planes, sharing their bytes.
PlanarView part(const PlanarView& planes, const QRect& rect);

// The chroma samples whose whole luma block lies inside `area`: what an opaque piece over `area` replaces.
QRect chromaInside(const QRect& area);
// The chroma samples whose luma block touches `area`.
QRect chromaTouched(const QRect& area);

} // namespace PlanarCompositing
