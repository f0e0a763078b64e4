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
    redWeight_ = kr;
    blueWeight_ = kb;
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

inline float byteOf(uint32_t pixel, int shift) { return static_cast<float>((pixel >> shift) & 0xFFu); }

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

namespace {

// One row's colour filtered [1 3 3 1] / 8 around each chroma column's centre (edges repeat), per channel:
// the row is split into even and odd pixels first (padded by one repeat at each end) so every loop is
// contiguous and vectorises. `split` holds 6 × (chroma width + 2) floats.
void chromaColumns(const uint32_t* __restrict row, int width, float* __restrict split, float* const out[3])
{
    const int chromaWidth = (width + 1) / 2;
    const size_t padded = static_cast<size_t>(chromaWidth) + 2;
    for (int channel = 0; channel < 3; ++channel) {
        float* __restrict even = split + padded * static_cast<size_t>(2 * channel) + 1;
        float* __restrict odd = even + padded;
        const int shift = 8 * channel;
        for (int c = 0; c < width / 2; ++c) {
            even[c] = byteOf(row[2 * c], shift);
            odd[c] = byteOf(row[2 * c + 1], shift);
        }
        if (width % 2 == 1)
            even[chromaWidth - 1] = odd[chromaWidth - 1] = byteOf(row[width - 1], shift);
        odd[-1] = even[0];
        even[chromaWidth] = odd[chromaWidth - 1];
        float* __restrict into = out[channel];
        for (int c = 0; c < chromaWidth; ++c)
            into[c] = 0.125f * (odd[c - 1] + even[c + 1]) + 0.375f * (even[c] + odd[c]);
    }
}

} // namespace

bool YuvConversion::toYuv420(const PixelBuffer& source, uint8_t* const planes[3], const int strides[3]) const
{
    const int width = source.width();
    const int height = source.height();
    if (source.isEmpty())
        return false;
    // The inverse of the decoding matrix: luma weights, then chroma as scaled colour differences.
    const float kr = redWeight_;
    const float kb = blueWeight_;
    const float kg = 1 - kr - kb;
    const float toLuma = 1 / lumaScale_;
    const float toChroma = 1 / chromaScale_;
    const float uFromDifference = toChroma / blueFromU_;
    const float vFromDifference = toChroma / redFromV_;
    for (int y = 0; y < height; ++y) {
        const auto* __restrict in = reinterpret_cast<const uint32_t*>(source.row(y));
        uint8_t* __restrict luma = planes[0] + static_cast<ptrdiff_t>(y) * strides[0];
        for (int x = 0; x < width; ++x) {
            const float l = kr * byteOf(in[x], 16) + kg * byteOf(in[x], 8) + kb * byteOf(in[x], 0);
            luma[x] = static_cast<uint8_t>(channel(l * toLuma + lumaOffset_));
        }
    }
    // Chroma low-passed [1 3 3 1] both ways before halving, as smooth as swscale's bicubic (sharper
    // chroma would cost bits the encoder then spends on noise).
    const int chromaWidth = (width + 1) / 2;
    const size_t columns = static_cast<size_t>(chromaWidth);
    std::vector<float> split((columns + 2) * 6);
    // Filtered rows by source row modulo 4: the four rows of one chroma row are distinct there, and half of
    // them are the next chroma row's too.
    std::vector<float> filtered(columns * 3 * 4);
    int filteredRow[4] = {-1, -1, -1, -1};
    std::vector<float> blue(columns), green(columns), red(columns);
    const float weights[4] = {0.125f, 0.375f, 0.375f, 0.125f};
    for (int r = 0; r < (height + 1) / 2; ++r) {
        std::fill(blue.begin(), blue.end(), 0.0f);
        std::fill(green.begin(), green.end(), 0.0f);
        std::fill(red.begin(), red.end(), 0.0f);
        for (int k = 0; k < 4; ++k) {
            const int y = std::clamp(2 * r - 1 + k, 0, height - 1);
            float* const slot = filtered.data() + columns * 3 * static_cast<size_t>(y % 4);
            float* const channels[3] = {slot, slot + columns, slot + 2 * columns};
            if (filteredRow[y % 4] != y) {
                chromaColumns(reinterpret_cast<const uint32_t*>(source.row(y)), width, split.data(), channels);
                filteredRow[y % 4] = y;
            }
            const float w = weights[k];
            const float* __restrict b = channels[0];
            const float* __restrict g = channels[1];
            const float* __restrict rd = channels[2];
            for (size_t c = 0; c < columns; ++c) {
                blue[c] += w * b[c];
                green[c] += w * g[c];
                red[c] += w * rd[c];
            }
        }
        uint8_t* __restrict u = planes[1] + static_cast<ptrdiff_t>(r) * strides[1];
        uint8_t* __restrict v = planes[2] + static_cast<ptrdiff_t>(r) * strides[2];
        for (size_t c = 0; c < columns; ++c) {
            const float l = kr * red[c] + kg * green[c] + kb * blue[c];
            u[c] = static_cast<uint8_t>(channel((blue[c] - l) * uFromDifference + 128.0f));
            v[c] = static_cast<uint8_t>(channel((red[c] - l) * vFromDifference + 128.0f));
        }
    }
    return true;
}
