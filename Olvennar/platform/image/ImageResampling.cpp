// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/ImageResampling.h"

#include "platform/image/ImageCompositing.h"
#include "platform/system/WideVectors.h"

#include <opencv2/imgproc.hpp>

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Filter taps along one axis. Shrinking, target pixel i averages the source span it covers,
// [(origin + i − offset) / scale, (origin + i + 1 − offset) / scale] (at scale 1 with a fractional offset
// that is linear interpolation); enlarging, it interpolates linearly between the two nearest source
// centres. Either way the picture lands at its sub-pixel position in one pass.
struct Taps {
    std::vector<int> first; // first source index of each target pixel
    std::vector<int> count;
    std::vector<float> weights; // `stride` per target pixel
    int stride = 0;
    int low = 0; // source indices read: [low, high)
    int high = 0;
};

Taps areaTaps(int targets, int origin, double scale, double offset, int sourceLength, bool clampEdges)
{
    Taps taps;
    taps.stride = std::min(static_cast<int>(std::ceil(1 / std::min(scale, 1.0))) + 2, 64);
    taps.first.resize(static_cast<size_t>(targets));
    taps.count.resize(static_cast<size_t>(targets));
    taps.weights.assign(static_cast<size_t>(targets) * static_cast<size_t>(taps.stride), 0.0f);
    taps.low = sourceLength;
    taps.high = 0;
    for (int i = 0; i < targets; ++i) {
        // Source pixels and their shares: the covered span when shrinking, the two nearest centres
        // (linear interpolation) when enlarging.
        double shares[64];
        int indices[64];
        int found = 0;
        if (scale > 1) {
            const double u = (origin + i + 0.5 - offset) / scale - 0.5;
            const int j = static_cast<int>(std::floor(u));
            const double f = u - j;
            indices[0] = j;
            shares[0] = 1 - f;
            indices[1] = j + 1;
            shares[1] = f;
            found = 2;
        } else {
            const double a = (origin + i - offset) / scale;
            const double b = (origin + i + 1 - offset) / scale;
            const int j0 = static_cast<int>(std::floor(a));
            const int j1 = static_cast<int>(std::ceil(b));
            for (int j = j0; j < j1 && found < 64; ++j) {
                indices[found] = j;
                shares[found++] = (std::min(b, j + 1.0) - std::max(a, static_cast<double>(j))) * scale;
            }
        }
        int first = -1, n = 0;
        float* w = &taps.weights[static_cast<size_t>(i) * static_cast<size_t>(taps.stride)];
        for (int t = 0; t < found; ++t) {
            const double share = shares[t];
            if (share <= 0)
                continue;
            int index = indices[t];
            if (index < 0 || index >= sourceLength) {
                if (!clampEdges)
                    continue; // transparent outside
                index = std::clamp(index, 0, sourceLength - 1);
            }
            if (first < 0)
                first = index;
            // Indices run consecutively, except clamped ones that repeat the edge pixel.
            const int slot = index - first;
            if (slot < 0 || slot >= taps.stride)
                continue;
            w[slot] += static_cast<float>(share);
            n = std::max(n, slot + 1);
        }
        taps.first[static_cast<size_t>(i)] = std::max(first, 0);
        taps.count[static_cast<size_t>(i)] = n;
        if (n > 0) {
            taps.low = std::min(taps.low, first);
            taps.high = std::max(taps.high, first + n);
        }
    }
    if (taps.high <= taps.low)
        taps.low = taps.high = 0;
    return taps;
}

// The same sums with SSE2, bit for bit: each tap's four 16-bit channel sums times its weight as 32-bit
// products (low and high halves), two taps per register. Up to four taps; `weights` holds `taps` per pixel.
void horizontalPassWide(const uint16_t* sum, int c0, const Taps& columns, const std::vector<uint16_t>& weights, int taps, int width,
    uint8_t* target)
{
    const __m128i half = _mm_set1_epi32(32768);
    const auto tapPair = [](const uint16_t* acc, uint16_t w0, uint16_t w1) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc));
        const __m128i w = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(w0)), _mm_set1_epi16(static_cast<short>(w1)));
        const __m128i low = _mm_mullo_epi16(a, w);
        const __m128i high = _mm_mulhi_epu16(a, w);
        return _mm_add_epi32(_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high));
    };
    for (int c = 0; c < width; ++c) {
        const uint16_t* w = &weights[static_cast<size_t>(c) * static_cast<size_t>(taps)];
        const uint16_t* acc = sum + 4 * (columns.first[static_cast<size_t>(c)] - c0);
        __m128i v = tapPair(acc, w[0], w[1]);
        if (taps > 2)
            v = _mm_add_epi32(v, tapPair(acc + 8, w[2], taps > 3 ? w[3] : 0));
        v = _mm_srli_epi32(_mm_add_epi32(v, half), 16);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
        const int pixel = _mm_cvtsi128_si32(bytes);
        std::memcpy(target + 4 * c, &pixel, 4);
    }
}

// Column weights laid out for two target pixels per 256-bit register: for each pair of taps p and pixel c,
// eight words [w(2p) × 4, w(2p + 1) × 4] at (p · width + c) · 8.
struct WidePairs {
    std::vector<uint16_t> weights;
    std::vector<int> offsets; // first source column of each pixel, from the row's first summed column
    int pairs = 0;
};

WidePairs widePairs(const Taps& columns, const std::vector<uint16_t>& weights, int taps, int c0)
{
    WidePairs wide;
    const size_t width = columns.first.size();
    wide.pairs = taps > 2 ? 2 : 1;
    wide.weights.assign(static_cast<size_t>(wide.pairs) * width * 8, 0);
    wide.offsets.resize(width);
    for (size_t c = 0; c < width; ++c) {
        wide.offsets[c] = columns.first[c] - c0;
        for (int k = 0; k < taps; ++k) {
            uint16_t* pair = &wide.weights[(static_cast<size_t>(k / 2) * width + c) * 8];
            std::fill(pair + 4 * (k % 2), pair + 4 * (k % 2) + 4, weights[c * static_cast<size_t>(taps) + static_cast<size_t>(k)]);
        }
    }
    return wide;
}

// One or two pixels' column sums with AVX2, rounded to bytes (pixel c in the low half, c + 1 in the high).
__attribute__((target("avx2"))) inline __m256i pixelSumsAvx2(const uint16_t* sum, const WidePairs& wide, int width, int c, int count)
{
    const __m256i half = _mm256_set1_epi32(32768);
    __m256i v = _mm256_setzero_si256();
    for (int p = 0; p < wide.pairs; ++p) {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + 4 * wide.offsets[static_cast<size_t>(c)] + 8 * p));
        const __m128i a1 = count > 1 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + 4 * wide.offsets[static_cast<size_t>(c) + 1] + 8 * p))
                                     : _mm_setzero_si128();
        const __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(a0), a1, 1);
        const uint16_t* w = &wide.weights[(static_cast<size_t>(p) * static_cast<size_t>(width) + static_cast<size_t>(c)) * 8];
        const __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
        const __m128i w1 = count > 1 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 8)) : _mm_setzero_si128();
        const __m256i weights = _mm256_inserti128_si256(_mm256_castsi128_si256(w0), w1, 1);
        const __m256i low = _mm256_mullo_epi16(a, weights);
        const __m256i high = _mm256_mulhi_epu16(a, weights);
        v = _mm256_add_epi32(v, _mm256_add_epi32(_mm256_unpacklo_epi16(low, high), _mm256_unpackhi_epi16(low, high)));
    }
    v = _mm256_srli_epi32(_mm256_add_epi32(v, half), 16);
    const __m256i words = _mm256_packs_epi32(v, v);
    return _mm256_packus_epi16(words, words);
}

// horizontalPassWide two pixels at a time with AVX2: the same products and sums, so the same bytes.
__attribute__((target("avx2"))) void horizontalPassAvx2(const uint16_t* sum, const WidePairs& wide, int width, uint8_t* target)
{
    int c = 0;
    for (; c + 2 <= width; c += 2) {
        const __m256i bytes = pixelSumsAvx2(sum, wide, width, c, 2);
        const int first = _mm256_extract_epi32(bytes, 0);
        const int second = _mm256_extract_epi32(bytes, 4);
        std::memcpy(target + 4 * c, &first, 4);
        std::memcpy(target + 4 * c + 4, &second, 4);
    }
    if (c < width) {
        const int last = _mm256_extract_epi32(pixelSumsAvx2(sum, wide, width, c, 1), 0);
        std::memcpy(target + 4 * c, &last, 4);
    }
}

// One source row, weighted, into the 16-bit channel sums of a target row.
OLVENNAR_WIDE_VECTORS void accumulateRow(uint16_t* __restrict into, const uint8_t* __restrict line, int count, uint16_t weight)
{
    for (int i = 0; i < count; ++i)
        into[i] = static_cast<uint16_t>(into[i] + weight * line[i]);
}

// The two-tap column sums of a pure shift: each channel mixes itself with the same channel one pixel on.
OLVENNAR_WIDE_VECTORS void shiftRow(uint8_t* __restrict into, const uint16_t* __restrict from, int count, uint32_t w0, uint32_t w1)
{
    for (int i = 0; i < count; ++i)
        into[i] = static_cast<uint8_t>((w0 * from[i] + w1 * from[i + 4] + 32768) >> 16);
}

// A pure shift: every target pixel mixes the same two neighbours with the same weights.
bool isShift(const Taps& columns, const std::vector<uint16_t>& weights, int stride)
{
    for (size_t c = 0; c < columns.first.size(); ++c) {
        if (columns.first[c] != columns.first[0] + static_cast<int>(c) || columns.count[c] > 2)
            return false;
        for (int k = 0; k < stride; ++k) {
            if (weights[c * static_cast<size_t>(stride) + static_cast<size_t>(k)] != weights[static_cast<size_t>(k)])
                return false;
        }
    }
    return !columns.first.empty() && (stride < 3 || weights[2] == 0);
}

std::vector<uint16_t> fixedWeights(const Taps& taps, int stride)
{
    std::vector<uint16_t> weights(taps.first.size() * static_cast<size_t>(stride), 0);
    for (size_t i = 0; i < taps.first.size(); ++i) {
        // Rounded so that the weights of one pixel add up to its rounded total, never above 256.
        double total = 0;
        int given = 0;
        for (int k = 0; k < std::min(taps.count[i], stride); ++k) {
            total += taps.weights[i * static_cast<size_t>(taps.stride) + static_cast<size_t>(k)] * 256;
            const int next = std::min(static_cast<int>(std::lround(total)), 256);
            weights[i * static_cast<size_t>(stride) + static_cast<size_t>(k)] = static_cast<uint16_t>(next - given);
            given = next;
        }
    }
    return weights;
}

// One pass of resampling for an axis-aligned scale and offset (area when shrinking, linear when enlarging, per
// axis): rows are mixed
// byte by byte (vectorised), then each target pixel sums its few columns.
void drawArea(const cv::Mat& source, double sx, double sy, double tx, double ty, const QRect& area, cv::Mat& out, bool clampEdges)
{
    const Taps columns = areaTaps(area.width(), area.x(), sx, tx, source.cols, clampEdges);
    const Taps rows = areaTaps(area.height(), area.y(), sy, ty, source.rows, clampEdges);
    const int c0 = columns.low;
    const int span = columns.high - columns.low;
    const int T = std::min(columns.stride, 4) <= 2 ? 2 : (columns.stride <= 3 ? 3 : 4);
    // Columns are summed T at a time; the few wider ones (scales below 1/2) use the general loop.
    const bool fixedTaps = columns.stride <= 4;
    const std::vector<uint16_t> columnWeights = fixedWeights(columns, fixedTaps ? T : columns.stride);
    const std::vector<uint16_t> rowWeights = fixedWeights(rows, rows.stride);
    const bool shift = fixedTaps && isShift(columns, columnWeights, T);
    static const bool avx2 = __builtin_cpu_supports("avx2");
    const WidePairs wide = avx2 && fixedTaps && !shift ? widePairs(columns, columnWeights, T, c0) : WidePairs {};
    ImageCompositing::forRows(area.height(), std::max(span, area.width()), [&](int r0, int r1) {
        // Padded so a T-wide read past the last column stays inside.
        std::vector<uint16_t> sum(static_cast<size_t>(std::max(span, 1) + 4) * 4, 0);
        for (int r = r0; r < r1; ++r) {
            uint8_t* target = out.ptr<uint8_t>(r);
            const int n = rows.count[static_cast<size_t>(r)];
            if (n == 0 || span <= 0) {
                std::fill(target, target + 4 * area.width(), uint8_t(0));
                continue;
            }
            uint16_t* acc = sum.data();
            std::fill(acc, acc + 4 * span, uint16_t(0));
            const uint16_t* wy = &rowWeights[static_cast<size_t>(r) * static_cast<size_t>(rows.stride)];
            for (int k = 0; k < n; ++k) {
                const uint16_t weight = wy[k];
                if (weight == 0)
                    continue;
                accumulateRow(acc, source.ptr<uint8_t>(rows.first[static_cast<size_t>(r)] + k) + 4 * c0, 4 * span, weight);
            }
            if (shift)
                shiftRow(target, acc + 4 * (columns.first[0] - c0), 4 * area.width(), columnWeights[0], columnWeights[1]);
            else if (fixedTaps && wide.pairs > 0)
                horizontalPassAvx2(acc, wide, area.width(), target);
            else if (fixedTaps)
                horizontalPassWide(acc, c0, columns, columnWeights, T, area.width(), target);
            else {
                for (int c = 0; c < area.width(); ++c) {
                    const uint16_t* w = &columnWeights[static_cast<size_t>(c) * static_cast<size_t>(columns.stride)];
                    const uint16_t* a = acc + 4 * (columns.first[static_cast<size_t>(c)] - c0);
                    uint32_t v[4] = {0, 0, 0, 0};
                    for (int k = 0; k < columns.count[static_cast<size_t>(c)]; ++k)
                        for (int ch = 0; ch < 4; ++ch)
                            v[ch] += static_cast<uint32_t>(w[k]) * a[4 * k + ch];
                    uint8_t* p = target + 4 * c;
                    for (int ch = 0; ch < 4; ++ch)
                        p[ch] = static_cast<uint8_t>((v[ch] + 32768) >> 16);
                }
            }
        }
    });
}

// The source pixels needed for a target area, grown by `margin` and kept inside the source.
cv::Rect sourceWindow(const cv::Size& size, const QTransform& toTarget, const QRect& area, double margin)
{
    const QTransform back = toTarget.inverted();
    const QRectF needed = back.mapRect(QRectF(area.x(), area.y(), area.width(), area.height()));
    int x0 = static_cast<int>(std::floor(needed.left() - margin));
    int y0 = static_cast<int>(std::floor(needed.top() - margin));
    int x1 = static_cast<int>(std::ceil(needed.right() + margin));
    int y1 = static_cast<int>(std::ceil(needed.bottom() + margin));
    x0 = std::clamp(x0, 0, size.width);
    y0 = std::clamp(y0, 0, size.height);
    x1 = std::clamp(x1, 0, size.width);
    y1 = std::clamp(y1, 0, size.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace

QRect ImageResampling::mappedBounds(const cv::Size& sourceSize, const QTransform& toTarget)
{
    const QRectF mapped = toTarget.mapRect(QRectF(0, 0, sourceSize.width, sourceSize.height));
    const int x0 = static_cast<int>(std::floor(mapped.left()));
    const int y0 = static_cast<int>(std::floor(mapped.top()));
    const int x1 = static_cast<int>(std::ceil(mapped.right()));
    const int y1 = static_cast<int>(std::ceil(mapped.bottom()));
    return {x0, y0, x1 - x0, y1 - y0};
}

std::optional<QRect> ImageResampling::readBounds(const cv::Size& sourceSize, const QTransform& toTarget, const QRect& area)
{
    if (!toTarget.isInvertible())
        return std::nullopt;
    // Lanczos reads four pixels either side; the other filters fewer.
    const double reach = 4;
    const QRectF needed = toTarget.inverted().mapRect(QRectF(area));
    if (needed.left() < 0 || needed.top() < 0 || needed.right() > sourceSize.width || needed.bottom() > sourceSize.height)
        return std::nullopt;
    const cv::Rect window = sourceWindow(sourceSize, toTarget, area, reach);
    return QRect(window.x, window.y, window.width, window.height);
}

void ImageResampling::draw(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, Filter filter,
    bool clampEdges)
{
    if (area.isEmpty()) {
        out.release();
        return;
    }
    out.create(area.height(), area.width(), CV_8UC4);
    const double sx = std::abs(toTarget.m11());
    const double sy = std::abs(toTarget.m22());
    if (source.empty() || !(sx > 0) || !(sy > 0) || !toTarget.isInvertible()) {
        out.setTo(cv::Scalar::all(0));
        return;
    }
    const bool enlarging = sx > 1.001 || sy > 1.001;
    if (!(filter == Filter::lanczos && enlarging) && sx >= 1.0 / 60 && sy >= 1.0 / 60 && toTarget.m11() > 0 && toTarget.m22() > 0 && toTarget.m12() == 0 && toTarget.m21() == 0) {
        drawArea(source, sx, sy, toTarget.dx(), toTarget.dy(), area, out, clampEdges);
        return;
    }
    const double margin = 4 + 2 / std::min({sx, sy, 1.0});
    cv::Rect window = sourceWindow(source.size(), toTarget, area, margin);
    if (window.width <= 0 || window.height <= 0) {
        if (!clampEdges) {
            out.setTo(cv::Scalar::all(0));
            return;
        }
        // Wholly beside the source: the nearest edge pixels repeat.
        window = cv::Rect(0, 0, source.cols, source.rows);
    }
    // Continuous mapping from window coordinates to area coordinates.
    QTransform map = QTransform::fromTranslate(window.x, window.y) * toTarget * QTransform::fromTranslate(-area.x(), -area.y());
    cv::Mat input = source(window);
    cv::Mat shrunk;
    if (sx < 1 || sy < 1) {
        const int w = std::max(1, static_cast<int>(std::lround(window.width * std::min(sx, 1.0))));
        const int h = std::max(1, static_cast<int>(std::lround(window.height * std::min(sy, 1.0))));
        cv::resize(input, shrunk, cv::Size(w, h), 0, 0, cv::INTER_AREA);
        map = QTransform::fromScale(static_cast<double>(window.width) / w, static_cast<double>(window.height) / h) * map;
        input = shrunk;
    }
    // Index mapping (pixel centres at i + 0.5), inverted for warpAffine.
    const QTransform indexMap = QTransform::fromTranslate(0.5, 0.5) * map * QTransform::fromTranslate(-0.5, -0.5);
    const QTransform back = indexMap.inverted();
    const cv::Matx23d inverse(back.m11(), back.m21(), back.dx(), back.m12(), back.m22(), back.dy());
    const bool upscaling = map.m11() > 1.001 || map.m22() > 1.001;
    const int interpolation = (filter == Filter::lanczos && upscaling) ? cv::INTER_LANCZOS4 : cv::INTER_LINEAR;
    cv::warpAffine(input, out, inverse, out.size(), interpolation | cv::WARP_INVERSE_MAP,
        clampEdges ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT, cv::Scalar::all(0));
    if (interpolation == cv::INTER_LANCZOS4) {
        // Lanczos rings past the alpha of premultiplied pixels; keep colour within alpha.
        ImageCompositing::keepColourWithinAlpha(out);
    }
}
