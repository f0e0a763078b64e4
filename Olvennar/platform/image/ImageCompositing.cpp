// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/ImageCompositing.h"
#include "platform/system/WideVectors.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

inline uint32_t div255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

// alpha as a 0…256 factor
inline uint32_t alphaFactor(double alpha) { return static_cast<uint32_t>(std::lround(std::clamp(alpha, 0.0, 1.0) * 256.0)); }

inline void blendPixel(uint8_t* d, const uint8_t* s, uint32_t factor)
{
    uint32_t b = s[0], g = s[1], r = s[2], a = s[3];
    if (factor < 256) {
        b = (b * factor) >> 8;
        g = (g * factor) >> 8;
        r = (r * factor) >> 8;
        a = (a * factor) >> 8;
    }
    if (a == 0)
        return;
    if (a == 255) {
        d[0] = static_cast<uint8_t>(b);
        d[1] = static_cast<uint8_t>(g);
        d[2] = static_cast<uint8_t>(r);
        d[3] = 255;
        return;
    }
    const uint32_t keep = 255 - a;
    d[0] = static_cast<uint8_t>(b + div255(d[0] * keep));
    d[1] = static_cast<uint8_t>(g + div255(d[1] * keep));
    d[2] = static_cast<uint8_t>(r + div255(d[2] * keep));
    d[3] = static_cast<uint8_t>(a + div255(d[3] * keep));
}

// Two 8-bit channels per 16-bit lane: every channel of a premultiplied pixel times f/255, rounded.
inline uint32_t scalePixel(uint32_t p, uint32_t f)
{
    uint32_t rb = (p & 0x00FF00FFu) * f + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t ag = ((p >> 8) & 0x00FF00FFu) * f + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// Source over destination for a row of pixels, branch-free so the compiler vectorises it; `f` (0…255)
// scales the source first.
OLVENNAR_WIDE_VECTORS void overRow(uint32_t* __restrict d, const uint32_t* __restrict s, int count, uint32_t f)
{
    if (f >= 255) {
        for (int x = 0; x < count; ++x)
            d[x] = s[x] + scalePixel(d[x], 255 - (s[x] >> 24));
    } else {
        for (int x = 0; x < count; ++x) {
            const uint32_t source = scalePixel(s[x], f);
            d[x] = source + scalePixel(d[x], 255 - (source >> 24));
        }
    }
}

// Whether every pixel of a row has full alpha.
OLVENNAR_WIDE_VECTORS bool opaqueRow(const uint32_t* __restrict row, int count)
{
    uint32_t all = 0xFF000000u;
    for (int x = 0; x < count; ++x)
        all &= row[x];
    return (all & 0xFF000000u) == 0xFF000000u;
}

// The part of src (placed at `at`) that lands on dst: destination rectangle.
QRect overlap(const cv::Mat& dst, const cv::Mat& src, QPoint at)
{
    return QRect(0, 0, dst.cols, dst.rows).intersected(QRect(at.x(), at.y(), src.cols, src.rows));
}

void scaleRowByMask(uint8_t* p, const uint8_t* mask, int count, bool inverse)
{
    for (int x = 0; x < count; ++x) {
        const uint32_t m = inverse ? 255u - mask[4 * x + 3] : mask[4 * x + 3];
        if (m == 255)
            continue;
        for (int c = 0; c < 4; ++c)
            p[4 * x + c] = static_cast<uint8_t>(div255(p[4 * x + c] * m));
    }
}

void applyMask(cv::Mat& image, const cv::Mat& mask, QPoint maskAt, bool inverse)
{
    const QRect inMask = QRect(0, 0, image.cols, image.rows).intersected(QRect(maskAt.x(), maskAt.y(), mask.cols, mask.rows));
    ImageCompositing::forRows(image.rows, image.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* row = image.ptr<uint8_t>(y);
            const bool rowInMask = y >= inMask.top() && y <= inMask.bottom() && !inMask.isEmpty();
            if (!rowInMask) {
                // Outside the mask: nothing is kept (alpha mask) or everything is (source-out).
                if (!inverse)
                    std::fill(row, row + 4 * image.cols, uint8_t(0));
                continue;
            }
            if (!inverse) {
                std::fill(row, row + 4 * inMask.left(), uint8_t(0));
                std::fill(row + 4 * (inMask.right() + 1), row + 4 * image.cols, uint8_t(0));
            }
            const uint8_t* m = mask.ptr<uint8_t>(y - maskAt.y()) + 4 * (inMask.left() - maskAt.x());
            scaleRowByMask(row + 4 * inMask.left(), m, inMask.width(), inverse);
        }
    });
}

} // namespace

void ImageCompositing::over(cv::Mat& dst, const cv::Mat& src, QPoint at, double alpha)
{
    const QRect area = overlap(dst, src, at);
    const uint32_t factor = static_cast<uint32_t>(std::lround(std::clamp(alpha, 0.0, 1.0) * 255.0));
    if (area.isEmpty() || factor == 0)
        return;
    const int left = area.left(), top = area.top(), width = area.width();
    forRows(area.height(), width, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            const int y = top + r;
            uint32_t* d = dst.ptr<uint32_t>(y) + left;
            const uint32_t* s = src.ptr<uint32_t>(y - at.y()) + (left - at.x());
            overRow(d, s, width, factor);
        }
    });
}

void ImageCompositing::overMasked(cv::Mat& dst, const cv::Mat& src, QPoint at, const RoundedRectShape& mask, double alpha)
{
    const QRect area = overlap(dst, src, at).intersected(mask.pixelBounds());
    const uint32_t factor = alphaFactor(alpha);
    if (area.isEmpty() || factor == 0 || mask.isEmpty())
        return;
    forRows(area.height(), area.width(), [&](int r0, int r1) {
        std::vector<uint8_t> scaled(4 * static_cast<size_t>(area.width()));
        for (int r = r0; r < r1; ++r) {
            const int y = area.top() + r;
            const double py = y + 0.5;
            uint8_t* d = dst.ptr<uint8_t>(y) + 4 * area.left();
            const uint8_t* s = src.ptr<uint8_t>(y - at.y()) + 4 * (area.left() - at.x());
            const bool straight = mask.isStraightRow(py);
            for (int x = 0; x < area.width(); ++x) {
                const double px = area.left() + x + 0.5;
                // Beside the straight edges every pixel at least half a pixel inside is fully covered.
                float cover = (straight && px >= mask.left() + 0.5 && px <= mask.right() - 0.5) ? 1.0f : mask.coverage(px, py);
                if (cover <= 0)
                    continue;
                const uint32_t f = cover >= 1 ? factor : static_cast<uint32_t>(std::lround(cover * static_cast<float>(factor)));
                blendPixel(d + 4 * x, s + 4 * x, f);
            }
        }
    });
}

void ImageCompositing::multiplyAlpha(cv::Mat& image, double alpha)
{
    const uint32_t factor = alphaFactor(alpha);
    if (factor >= 256)
        return;
    forRows(image.rows, image.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* row = image.ptr<uint8_t>(y);
            for (int i = 0; i < 4 * image.cols; ++i)
                row[i] = static_cast<uint8_t>((row[i] * factor) >> 8);
        }
    });
}

void ImageCompositing::blendWithAlphaMask(cv::Mat& image, const cv::Mat& mask, QPoint maskAt)
{
    applyMask(image, mask, maskAt, false);
}

void ImageCompositing::sourceOut(cv::Mat& image, const cv::Mat& mask, QPoint maskAt)
{
    applyMask(image, mask, maskAt, true);
}

void ImageCompositing::keepColourWithinAlpha(cv::Mat& image)
{
    forRows(image.rows, image.cols, [&image](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = image.ptr<uint8_t>(y);
            for (int x = 0; x < image.cols; ++x, p += 4) {
                p[0] = std::min(p[0], p[3]);
                p[1] = std::min(p[1], p[3]);
                p[2] = std::min(p[2], p[3]);
            }
        }
    });
}

bool ImageCompositing::isOpaque(const cv::Mat& image)
{
    std::atomic<bool> opaque{true};
    forRows(image.rows, image.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1 && opaque.load(std::memory_order_relaxed); ++y) {
            if (!opaqueRow(image.ptr<uint32_t>(y), image.cols))
                opaque.store(false, std::memory_order_relaxed);
        }
    });
    return opaque.load();
}

QRect ImageCompositing::contentBounds(const cv::Mat& image)
{
    int top = image.rows, bottom = -1, left = image.cols, right = -1;
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* row = image.ptr<uint8_t>(y);
        int first = -1, last = -1;
        for (int x = 0; x < image.cols; ++x) {
            if (row[4 * x + 3] != 0) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        if (first < 0)
            continue;
        top = std::min(top, y);
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    if (bottom < 0)
        return {};
    return {left, top, right - left + 1, bottom - top + 1};
}
