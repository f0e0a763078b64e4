// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "shorts/CropRenderer.h"

#include "platform/media/PixelBuffer.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr int lobes = 3;
constexpr int weightBits = 14;

double lanczos(double x)
{
    x = std::abs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= lobes)
        return 0.0;
    const double px = M_PI * x;
    return lobes * std::sin(px) * std::sin(px / lobes) / (px * px);
}

// Taps for `targets` output pixels from `length` source pixels: output pixel i is centred on source position
// (i + 0.5) / scale - 0.5. Shrinking widens the kernel so it also filters out what the smaller grid cannot hold.
CropRenderer::Taps makeTaps(int targets, int length, double scale)
{
    const double stretch = scale < 1 ? 1 / scale : 1.0;
    const double radius = lobes * stretch;
    CropRenderer::Taps taps;
    taps.width = static_cast<int>(std::ceil(radius)) * 2 + 1;
    taps.weights.assign(static_cast<size_t>(targets) * static_cast<size_t>(taps.width), 0);
    taps.index.assign(taps.weights.size(), 0);
    std::vector<double> raw(static_cast<size_t>(taps.width));
    for (int i = 0; i < targets; ++i) {
        const double centre = (i + 0.5) / scale - 0.5;
        const int first = static_cast<int>(std::floor(centre - radius)) + 1;
        double total = 0;
        for (int k = 0; k < taps.width; ++k) {
            raw[static_cast<size_t>(k)] = lanczos((first + k - centre) / stretch);
            total += raw[static_cast<size_t>(k)];
        }
        // Whole fixed-point weights that add up to exactly one, so flat areas and alpha come through unchanged.
        const size_t base = static_cast<size_t>(i) * static_cast<size_t>(taps.width);
        int given = 0;
        double running = 0;
        for (int k = 0; k < taps.width; ++k) {
            running += raw[static_cast<size_t>(k)] / total;
            const int next = static_cast<int>(std::lround(running * (1 << weightBits)));
            taps.weights[base + static_cast<size_t>(k)] = static_cast<int16_t>(next - given);
            given = next;
            taps.index[base + static_cast<size_t>(k)] = std::clamp(first + k, 0, length - 1);
        }
    }
    return taps;
}

// One output row: the weighted sum of `taps` source rows, byte by byte (every channel alike). Built for AVX2
// too, picked at run time: the widening multiplies are what this export spends its time on.
__attribute__((target_clones("avx2", "default"))) void filterRow(
    const uint8_t* const* lines, const int16_t* weights, int taps, int count, int32_t* __restrict acc, uint8_t* __restrict target)
{
    for (int i = 0; i < count; ++i)
        acc[i] = 1 << (weightBits - 1);
    for (int k = 0; k < taps; ++k) {
        const int32_t w = weights[k];
        if (w == 0)
            continue;
        const uint8_t* __restrict line = lines[k];
        for (int i = 0; i < count; ++i)
            acc[i] += w * line[i];
    }
    for (int i = 0; i < count; ++i)
        target[i] = static_cast<uint8_t>(std::clamp(acc[i] >> weightBits, 0, 255));
}

// out row y = the taps of y over the rows of `in`.
void filterRows(const cv::Mat& in, const CropRenderer::Taps& taps, cv::Mat& out)
{
    cv::parallel_for_(cv::Range(0, out.rows), [&](const cv::Range& range) {
        const int count = in.cols * 4;
        std::vector<int32_t> sum(static_cast<size_t>(count));
        std::vector<const uint8_t*> lines(static_cast<size_t>(taps.width));
        for (int y = range.start; y < range.end; ++y) {
            const size_t base = static_cast<size_t>(y) * static_cast<size_t>(taps.width);
            for (int k = 0; k < taps.width; ++k)
                lines[static_cast<size_t>(k)] = in.ptr<uint8_t>(taps.index[base + static_cast<size_t>(k)]);
            filterRow(lines.data(), &taps.weights[base], taps.width, count, sum.data(), out.ptr<uint8_t>(y));
        }
    });
}

// Pixels are 32 bits: the transposes move whole pixels, in stripes on every worker.
void transpose(const cv::Mat& in, cv::Mat& out)
{
    cv::parallel_for_(cv::Range(0, out.rows), [&](const cv::Range& range) {
        cv::Mat stripe = out.rowRange(range.start, range.end);
        cv::transpose(in.colRange(range.start, range.end), stripe);
    });
}

} // namespace

CropRenderer::CropRenderer(QSize frame, QRect crop, QSize output)
    : frame_(frame)
    , crop_(crop)
    , output_(output)
{
    if (crop_.width() < 1 || crop_.height() < 1 || output_.width() < 1 || output_.height() < 1)
        return;
    columns_ = makeTaps(output_.width(), crop_.width(), static_cast<double>(output_.width()) / crop_.width());
    rows_ = makeTaps(output_.height(), crop_.height(), static_cast<double>(output_.height()) / crop_.height());
}

CropRenderer::~CropRenderer() = default;

double CropRenderer::scale() const { return crop_.height() > 0 ? static_cast<double>(output_.height()) / crop_.height() : 0.0; }

double CropRenderer::aspect() const
{
    const double vertical = scale();
    return vertical > 0 && crop_.width() > 0 ? static_cast<double>(output_.width()) / crop_.width() / vertical : 0.0;
}

bool CropRenderer::render(const PixelBuffer& raw, PixelBuffer& out)
{
    if (columns_.width == 0 || raw.width() < crop_.right() + 1 || raw.height() < crop_.bottom() + 1 || out.width() < output_.width()
        || out.height() < output_.height())
        return false;
    // Both axes are filtered down the rows, where every pixel of a row shares its weights and the loops run
    // as wide vector code: the crop's rows to the output height, a transpose, the former columns to the
    // output width, and a transpose back into the output.
    const cv::Mat source(crop_.height(), crop_.width(), CV_8UC4, const_cast<uint8_t*>(raw.row(crop_.y())) + static_cast<size_t>(crop_.x()) * 4,
        raw.bytesPerRow());
    cv::Mat target(output_.height(), output_.width(), CV_8UC4, out.data(), out.bytesPerRow());
    tall_.create(output_.height(), crop_.width(), CV_8UC4);
    across_.create(crop_.width(), output_.height(), CV_8UC4);
    turned_.create(output_.width(), output_.height(), CV_8UC4);
    filterRows(source, rows_, tall_);
    transpose(tall_, across_);
    filterRows(across_, columns_, turned_);
    transpose(turned_, target);
    return true;
}
