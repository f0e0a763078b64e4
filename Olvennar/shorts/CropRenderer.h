#pragma once

#include <QRect>
#include <QSize>

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <vector>

class PixelBuffer;

// Turns a raw camera frame into a short's frame: cuts the crop out at its exact pixels (odd origins too) and
// scales it to the output size with a Lanczos filter (a = 3, widened when shrinking), edge pixels repeating
// outwards. Bytes are filtered as they are: no colour conversion anywhere.
//
// The filter taps are worked out once for the export's fixed geometry. Threading: one export's video queue;
// render() spreads its rows over the worker threads and keeps its scratch pictures between calls.
class CropRenderer {
public:
    // `crop` lies inside `frame` (pixels, top-left origin); sides of at least 1.
    CropRenderer(QSize frame, QRect crop, QSize output);
    ~CropRenderer();
    CropRenderer(const CropRenderer&) = delete;
    CropRenderer& operator=(const CropRenderer&) = delete;

    // Vertical scale, and the horizontal scale relative to it (1 when the crop has the output's aspect).
    double scale() const;
    double aspect() const;
    QSize outputSize() const { return output_; }

    // `raw` must be at least the frame's size and `out` the output's; false otherwise.
    bool render(const PixelBuffer& raw, PixelBuffer& out);

    struct Taps {
        std::vector<int16_t> weights; // `width` per output pixel, 14-bit fixed point, summing to 1
        std::vector<int> index; // `width` source indices per output pixel, edges repeated
        int width = 0;
    };

private:
    QSize frame_;
    QRect crop_;
    QSize output_;
    Taps columns_;
    Taps rows_;
    cv::Mat tall_; // the crop at the output height
    cv::Mat across_; // the same, transposed
    cv::Mat turned_; // the output, transposed
};
