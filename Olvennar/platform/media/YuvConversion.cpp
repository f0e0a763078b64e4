// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/media/YuvConversion.h"

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

inline uint32_t channel(float value) { return static_cast<uint32_t>(std::clamp(value, 0.0f, 255.0f) + 0.5f); }

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
        auto* __restrict out = reinterpret_cast<uint32_t*>(destination.row(y));
        const float* __restrict r = redRow.data();
        const float* __restrict g = greenRow.data();
        const float* __restrict b = blueRow.data();
        for (int x = 0; x < width; ++x) {
            const float l = (luma[x] - lumaOffset_) * lumaScale_;
            out[x] = channel(l + b[x]) | channel(l + g[x]) << 8 | channel(l + r[x]) << 16 | 0xFF000000u;
        }
    }
    return true;
}
