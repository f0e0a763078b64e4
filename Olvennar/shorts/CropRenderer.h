#pragma once

#include <QRect>
#include <QSize>

class PixelBuffer;

// Turns a raw camera frame into a short's frame: cuts the crop out at its exact pixels (odd origins too),
// bytes as they are, no colour conversion. The Lanczos scale to the output size happens on the way into the
// encoder, in the one pass that also converts the picture to the encoder's YUV (`VideoSettings::Scaling`):
// scaling the cut picture there costs a fraction of scaling it as BGRA first and converting it after.
//
// Threading: one export's video queue.
class CropRenderer {
public:
    // `crop` lies inside `frame` (pixels, top-left origin); sides of at least 1.
    CropRenderer(QSize frame, QRect crop, QSize output);

    // Vertical scale to the output, and the horizontal scale relative to it (1 when the crop has the
    // output's aspect).
    double scale() const;
    double aspect() const;
    QSize outputSize() const { return output_; }
    // The size of the pictures render() makes.
    QSize cutSize() const { return crop_.size(); }

    // `raw` must be at least the frame's size and `out` the crop's; false otherwise.
    bool render(const PixelBuffer& raw, PixelBuffer& out) const;

private:
    QSize frame_;
    QRect crop_;
    QSize output_;
};
