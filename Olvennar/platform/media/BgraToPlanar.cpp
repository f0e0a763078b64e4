// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/media/BgraToPlanar.h"

#include "platform/system/WideVectors.h"

#include <algorithm>

namespace {

// BT.709 limited range in 14-bit fixed point: luma 16 + 219/255 · (Kr R + Kg G + Kb B), chroma 128 + 224/255 ·
// (B − Y' or R − Y') / scale.
constexpr double kr = 0.2126, kb = 0.0722, kg = 1 - kr - kb;
constexpr int shift = 14;
constexpr double one = 1 << shift;
constexpr double lumaRange = 219.0 / 255.0, chromaRange = 224.0 / 255.0;

constexpr int fixedPoint(double value) { return static_cast<int>(value * one + (value < 0 ? -0.5 : 0.5)); }

constexpr int yr = fixedPoint(kr * lumaRange), yg = fixedPoint(kg * lumaRange), yb = fixedPoint(kb * lumaRange);
constexpr int ur = fixedPoint(-kr / (2 * (1 - kb)) * chromaRange), ug = fixedPoint(-kg / (2 * (1 - kb)) * chromaRange),
              ub = fixedPoint(0.5 * chromaRange);
constexpr int vr = fixedPoint(0.5 * chromaRange), vg = fixedPoint(-kg / (2 * (1 - kr)) * chromaRange),
              vb = fixedPoint(-kb / (2 * (1 - kr)) * chromaRange);
constexpr int lumaOffset = (16 << shift) + (1 << (shift - 1));
// Chroma sums four pixels: two more bits to shift away.
constexpr int chromaOffset = (128 << (shift + 2)) + (1 << (shift + 1));

OLVENNAR_WIDE_VECTORS void lumaRow(uint8_t* __restrict out, const uint32_t* __restrict in, int width)
{
    for (int x = 0; x < width; ++x) {
        const uint32_t p = in[x];
        const int b = static_cast<int>(p & 0xFF), g = static_cast<int>((p >> 8) & 0xFF), r = static_cast<int>((p >> 16) & 0xFF);
        out[x] = static_cast<uint8_t>((yr * r + yg * g + yb * b + lumaOffset) >> shift);
    }
}

// Chroma of `columns` 2×2 blocks from two rows of `2 · columns` pixels.
OLVENNAR_WIDE_VECTORS void chromaRow(uint8_t* __restrict cb, uint8_t* __restrict cr, const uint32_t* __restrict top, const uint32_t* __restrict bottom,
    int columns)
{
    for (int c = 0; c < columns; ++c) {
        const uint32_t p0 = top[2 * c], p1 = top[2 * c + 1], p2 = bottom[2 * c], p3 = bottom[2 * c + 1];
        const int b = static_cast<int>((p0 & 0xFF) + (p1 & 0xFF) + (p2 & 0xFF) + (p3 & 0xFF));
        const int g = static_cast<int>(((p0 >> 8) & 0xFF) + ((p1 >> 8) & 0xFF) + ((p2 >> 8) & 0xFF) + ((p3 >> 8) & 0xFF));
        const int r = static_cast<int>(((p0 >> 16) & 0xFF) + ((p1 >> 16) & 0xFF) + ((p2 >> 16) & 0xFF) + ((p3 >> 16) & 0xFF));
        cb[c] = static_cast<uint8_t>((ur * r + ug * g + ub * b + chromaOffset) >> (shift + 2));
        cr[c] = static_cast<uint8_t>((vr * r + vg * g + vb * b + chromaOffset) >> (shift + 2));
    }
}

} // namespace

namespace BgraToPlanar {

void convert(const uint8_t* source, size_t bytesPerRow, const PlanarCanvas& out)
{
    if (!source || out.isEmpty())
        return;
    auto row = [&](int y) { return reinterpret_cast<const uint32_t*>(source + static_cast<size_t>(y) * bytesPerRow); };
    for (int y = 0; y < out.height; ++y)
        lumaRow(out.data[0] + static_cast<ptrdiff_t>(y) * out.stride[0], row(y), out.width);
    const int evenWidth = out.width & ~1;
    for (int j = 0; j < out.chromaHeight(); ++j) {
        // An odd last row or column pairs with itself.
        const uint32_t* top = row(2 * j);
        const uint32_t* bottom = row(std::min(2 * j + 1, out.height - 1));
        uint8_t* cb = out.data[1] + static_cast<ptrdiff_t>(j) * out.stride[1];
        uint8_t* cr = out.data[2] + static_cast<ptrdiff_t>(j) * out.stride[2];
        chromaRow(cb, cr, top, bottom, evenWidth / 2);
        if (out.width & 1) {
            const uint32_t edge[4] = {top[out.width - 1], top[out.width - 1], bottom[out.width - 1], bottom[out.width - 1]};
            chromaRow(cb + evenWidth / 2, cr + evenWidth / 2, edge, edge + 2, 1);
        }
    }
}

} // namespace BgraToPlanar
