// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/media/YuvConversion.h"

#include "platform/system/WideVectors.h"

#include <algorithm>
#include <cmath>
#include <vector>

YuvConversion::YuvConversion(bool bt709, bool fullRange)
{
    const float kr = bt709 ? 0.2126f : 0.299f;
    const float kb = bt709 ? 0.0722f : 0.114f;
    const float kg = 1 - kr - kb;
    lumaScale_ = fullRange ? 1.0f : 255.0f / 219.0f;
    lumaOffset_ = fullRange ? 0.0f : 16.0f;
    chromaScale_ = fullRange ? 1.0f : 255.0f / 224.0f;
    redFromV_ = 2 * (1 - kr);
    blueFromU_ = 2 * (1 - kb);
    greenFromU_ = -2 * kb * (1 - kb) / kg;
    greenFromV_ = -2 * kr * (1 - kr) / kg;
}

namespace {

// Rounded and clamped as integers: branch-free, so the loops vectorise (float comparisons would not).
inline uint32_t channel(float value)
{
    const int rounded = static_cast<int>(value + 256.5f) - 256;
    return static_cast<uint32_t>(std::min(std::max(rounded, 0), 255));
}

// One row of pixels from its luma and the chroma terms already spread to every pixel.
OLVENNAR_WIDE_VECTORS void bgraRow(uint32_t* __restrict out, const uint8_t* __restrict luma, const float* __restrict r, const float* __restrict g,
    const float* __restrict b, int width, float lumaOffset, float lumaScale)
{
    for (int x = 0; x < width; ++x) {
        const float l = (luma[x] - lumaOffset) * lumaScale;
        out[x] = channel(l + b[x]) | channel(l + g[x]) << 8 | channel(l + r[x]) << 16 | 0xFF000000u;
    }
}

} // namespace

bool YuvConversion::toBgra(const Planes& source, PixelBuffer& destination) const
{
    const int width = destination.width();
    const int height = destination.height();
    if (destination.isEmpty() || !source.data[0] || !source.data[1] || !source.data[2])
        return false;
    const int chromaWidth = (width + (1 << source.chromaShiftX) - 1) >> source.chromaShiftX;
    // Per row: chroma terms per chroma column, then every pixel from its luma and the nearest chroma.
    std::vector<float> red(static_cast<size_t>(chromaWidth)), green(red.size()), blue(red.size());
    std::vector<float> redRow(static_cast<size_t>(width)), greenRow(redRow.size()), blueRow(redRow.size());
    for (int y = 0; y < height; ++y) {
        const uint8_t* luma = source.data[0] + static_cast<ptrdiff_t>(y) * source.stride[0];
        const int chromaY = y >> source.chromaShiftY;
        const uint8_t* u = source.data[1] + static_cast<ptrdiff_t>(chromaY) * source.stride[1];
        const uint8_t* v = source.data[2] + static_cast<ptrdiff_t>(chromaY) * source.stride[2];
        if (y == 0 || chromaY != ((y - 1) >> source.chromaShiftY)) {
            for (int c = 0; c < chromaWidth; ++c) {
                const float cb = (u[c] - 128.0f) * chromaScale_;
                const float cr = (v[c] - 128.0f) * chromaScale_;
                red[static_cast<size_t>(c)] = redFromV_ * cr;
                green[static_cast<size_t>(c)] = greenFromU_ * cb + greenFromV_ * cr;
                blue[static_cast<size_t>(c)] = blueFromU_ * cb;
            }
            for (int x = 0; x < width; ++x) {
                const size_t c = static_cast<size_t>(x >> source.chromaShiftX);
                redRow[static_cast<size_t>(x)] = red[c];
                greenRow[static_cast<size_t>(x)] = green[c];
                blueRow[static_cast<size_t>(x)] = blue[c];
            }
        }
        bgraRow(reinterpret_cast<uint32_t*>(destination.row(y)), luma, redRow.data(), greenRow.data(), blueRow.data(), width, lumaOffset_,
            lumaScale_);
    }
    destination.markOpaque();
    return true;
}

bool YuvConversion::toBgra(const PlanarView& source, PixelBuffer& destination) const
{
    Planes planes;
    for (int i = 0; i < 3; ++i) {
        planes.data[i] = source.data[i];
        planes.stride[i] = source.stride[i];
    }
    return toBgra(planes, destination);
}
