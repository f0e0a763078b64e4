// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "shorts/CropRenderer.h"

#include "platform/media/PixelBuffer.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr int lobes = 3;
constexpr int weightBits = 14;
constexpr int scratchBits = 6; // fraction bits kept between the two passes

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
    scratch_.assign(static_cast<size_t>(crop_.height()) * static_cast<size_t>(output_.width()) * 4, 0);
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
    const int outWidth = output_.width();
    const size_t scratchRow = static_cast<size_t>(outWidth) * 4;

    // Across: every crop row to the output width.
    cv::parallel_for_(cv::Range(0, crop_.height()), [&](const cv::Range& range) {
        const int taps = columns_.width;
        for (int y = range.start; y < range.end; ++y) {
            const uint8_t* source = raw.row(crop_.y() + y) + static_cast<size_t>(crop_.x()) * 4;
            int16_t* into = &scratch_[static_cast<size_t>(y) * scratchRow];
            for (int x = 0; x < outWidth; ++x) {
                const int16_t* weight = &columns_.weights[static_cast<size_t>(x) * static_cast<size_t>(taps)];
                const int* index = &columns_.index[static_cast<size_t>(x) * static_cast<size_t>(taps)];
                int32_t sum[4] = {0, 0, 0, 0};
                for (int k = 0; k < taps; ++k) {
                    const uint8_t* pixel = source + static_cast<size_t>(index[k]) * 4;
                    for (int c = 0; c < 4; ++c)
                        sum[c] += weight[k] * pixel[c];
                }
                for (int c = 0; c < 4; ++c)
                    into[4 * x + c] = static_cast<int16_t>((sum[c] + (1 << (weightBits - scratchBits - 1))) >> (weightBits - scratchBits));
            }
        }
    });

    // Down: the scaled rows to the output height.
    cv::parallel_for_(cv::Range(0, output_.height()), [&](const cv::Range& range) {
        const int taps = rows_.width;
        const int count = outWidth * 4;
        std::vector<int32_t> sum(static_cast<size_t>(count));
        constexpr int shift = weightBits + scratchBits;
        for (int y = range.start; y < range.end; ++y) {
            const int16_t* weight = &rows_.weights[static_cast<size_t>(y) * static_cast<size_t>(taps)];
            const int* index = &rows_.index[static_cast<size_t>(y) * static_cast<size_t>(taps)];
            std::fill(sum.begin(), sum.end(), 1 << (shift - 1));
            for (int k = 0; k < taps; ++k) {
                const int32_t w = weight[k];
                if (w == 0)
                    continue;
                const int16_t* __restrict line = &scratch_[static_cast<size_t>(index[k]) * scratchRow];
                int32_t* __restrict acc = sum.data();
                for (int i = 0; i < count; ++i)
                    acc[i] += w * line[i];
            }
            uint8_t* __restrict target = out.row(y);
            for (int i = 0; i < count; ++i)
                target[i] = static_cast<uint8_t>(std::clamp(sum[static_cast<size_t>(i)] >> shift, 0, 255));
        }
    });
    return true;
}
