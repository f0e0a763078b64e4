#pragma once

#include <QRect>

#include <opencv2/core/mat.hpp>

#include <cstdint>

// 8-bit 4:2:0 planes (Y, Cb, Cr; BT.709 limited range): plane 0 of `width` × `height`, planes 1 and 2 at half
// the width and height, rounded up. Chroma sample (i, j) stands for the luma block [2i, 2i + 2) × [2j, 2j + 2);
// what is drawn there is the average over the block. Borrows the bytes: `Byte` is const for planes only read.
template <typename Byte>
struct PlanesOver {
    Byte* data[3] = {};
    int stride[3] = {};
    int width = 0;
    int height = 0;

    // Three one-channel matrices (luma, then both chroma planes) seen as planes of `width` × `height`.
    static PlanesOver over(const cv::Mat (&planes)[3], int width, int height)
    {
        PlanesOver p;
        for (int i = 0; i < 3; ++i) {
            p.data[i] = planes[i].data;
            p.stride[i] = static_cast<int>(planes[i].step[0]);
        }
        p.width = width;
        p.height = height;
        return p;
    }

    int chromaWidth() const { return (width + 1) / 2; }
    int chromaHeight() const { return (height + 1) / 2; }
    bool isEmpty() const { return width <= 0 || height <= 0 || !data[0] || !data[1] || !data[2]; }
    QRect rect() const { return {0, 0, width, height}; }
    // A plane as a one-channel matrix over the same bytes (read only when `Byte` is const).
    cv::Mat plane(int index) const
    {
        const int w = index == 0 ? width : chromaWidth(), h = index == 0 ? height : chromaHeight();
        return cv::Mat(h, w, CV_8UC1, const_cast<uint8_t*>(data[index]), static_cast<size_t>(stride[index]));
    }
};

// Planes drawn in place.
using PlanarCanvas = PlanesOver<uint8_t>;
// A decoded picture's planes as they came from the decoder.
using PlanarView = PlanesOver<const uint8_t>;

// Planes that own their bytes: pictures baked once (a backdrop plate) or test frames.
struct PlanarImage {
    cv::Mat planes[3];

    PlanarImage() = default;
    PlanarImage(int width, int height)
    {
        planes[0].create(height, width, CV_8UC1);
        planes[1].create((height + 1) / 2, (width + 1) / 2, CV_8UC1);
        planes[2].create((height + 1) / 2, (width + 1) / 2, CV_8UC1);
    }
    int width() const { return planes[0].cols; }
    int height() const { return planes[0].rows; }
    bool isEmpty() const { return planes[0].empty(); }
    PlanarCanvas canvas() { return PlanarCanvas::over(planes, width(), height()); }
    PlanarView view() const { return PlanarView::over(planes, width(), height()); }
};
