// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/ImageResampling.h"

#include "platform/image/AreaPasses.h"
#include "platform/image/ImageCompositing.h"
#include "platform/system/WideVectors.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <immintrin.h>

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

// Target pixels [from, from + targets) of taps worked out for more of them: each pixel's taps depend only on
// where it lies, so they are the same.
Taps sliced(const Taps& whole, int from, int targets)
{
    Taps part;
    part.stride = whole.stride;
    part.first.assign(whole.first.begin() + from, whole.first.begin() + from + targets);
    part.count.assign(whole.count.begin() + from, whole.count.begin() + from + targets);
    const size_t stride = static_cast<size_t>(whole.stride);
    part.weights.assign(whole.weights.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(from) * stride),
        whole.weights.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(from + targets) * stride));
    part.low = std::numeric_limits<int>::max();
    part.high = 0;
    for (int i = 0; i < targets; ++i) {
        if (part.count[static_cast<size_t>(i)] > 0) {
            part.low = std::min(part.low, part.first[static_cast<size_t>(i)]);
            part.high = std::max(part.high, part.first[static_cast<size_t>(i)] + part.count[static_cast<size_t>(i)]);
        }
    }
    if (part.high <= part.low)
        part.low = part.high = 0;
    return part;
}

// The taps of one axis, kept a while: the bands one drawing is cut into share their columns (the bands above
// and below what they go around, and those beside it take a part of them) or their rows, and a picture's two
// chroma planes share both.
std::shared_ptr<const Taps> axisTaps(int targets, int origin, double scale, double offset, int sourceLength, bool clampEdges)
{
    struct Axis {
        double scale, offset;
        int sourceLength;
        bool clampEdges;
        bool operator==(const Axis&) const = default;
    };
    struct Kept {
        Axis axis;
        int origin, targets;
        std::shared_ptr<const Taps> taps;
    };
    constexpr size_t kept = 16;
    thread_local std::vector<Kept> recent;
    const Axis axis {scale, offset, sourceLength, clampEdges};
    const auto found = std::find_if(recent.begin(), recent.end(), [&](const Kept& entry) {
        return entry.axis == axis && entry.origin <= origin && origin + targets <= entry.origin + entry.targets;
    });
    if (found != recent.end()) {
        std::rotate(recent.begin(), found, found + 1);
        const Kept& entry = recent.front();
        if (entry.origin == origin && entry.targets == targets)
            return entry.taps;
        return std::make_shared<const Taps>(sliced(*entry.taps, origin - entry.origin, targets));
    }
    auto made = std::make_shared<const Taps>(areaTaps(targets, origin, scale, offset, sourceLength, clampEdges));
    recent.insert(recent.begin(), Kept {axis, origin, targets, made});
    if (recent.size() > kept)
        recent.pop_back();
    return made;
}

// One source row, weighted, into the 16-bit channel sums of a target row.
OLVENNAR_WIDE_VECTORS void accumulateRow(uint16_t* __restrict into, const uint8_t* __restrict line, int count, uint16_t weight)
{
    for (int i = 0; i < count; ++i)
        into[i] = static_cast<uint16_t>(into[i] + weight * line[i]);
}

// Two weighted rows summed in one pass, onto the sums or in their place.
OLVENNAR_WIDE_VECTORS void sumTwoRowsPlain(uint16_t* __restrict into, const uint8_t* a, const uint8_t* b, int count, uint16_t wa, uint16_t wb,
    bool onto)
{
    if (onto) {
        for (int i = 0; i < count; ++i)
            into[i] = static_cast<uint16_t>(into[i] + wa * a[i] + wb * b[i]);
    } else {
        for (int i = 0; i < count; ++i)
            into[i] = static_cast<uint16_t>(wa * a[i] + wb * b[i]);
    }
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
            // The total is never negative: adding a half and truncating rounds it as lround would, without
            // lround's library call for every tap of every moving piece.
            const int next = std::min(static_cast<int>(total + 0.5), 256);
            weights[i * static_cast<size_t>(stride) + static_cast<size_t>(k)] = static_cast<uint16_t>(next - given);
            given = next;
        }
    }
    return weights;
}

// One pass of resampling for an axis-aligned scale and offset (area when shrinking, linear when enlarging, per
// axis). Down to half size, each source row is summed across its few columns once and the target rows mix
// those sums; smaller scales mix the rows byte by byte first, then sum each target pixel's many columns.
// `drawn` given: the rows are drawn a chunk at a time into `out` (rows of one chunk) and handed over each.
void drawArea(const cv::Mat& source, double sx, double sy, double tx, double ty, const QRect& area, cv::Mat& out, bool clampEdges,
    const ImageResampling::RowsDrawn* drawn = nullptr)
{
    const std::shared_ptr<const Taps> columnTaps = axisTaps(area.width(), area.x(), sx, tx, source.cols, clampEdges);
    const std::shared_ptr<const Taps> rowTaps = axisTaps(area.height(), area.y(), sy, ty, source.rows, clampEdges);
    const Taps& columns = *columnTaps;
    const Taps& rows = *rowTaps;
    const std::vector<uint16_t> rowWeights = fixedWeights(rows, rows.stride);
    if (columns.stride <= 4) {
        const int taps = std::max(1, *std::max_element(columns.count.begin(), columns.count.end()));
        const AreaPasses::Columns sums = AreaPasses::columns(columns.first, fixedWeights(columns, taps), taps, source.cols);
        const int length = 4 * area.width();
        const bool narrow = columns.high - columns.low <= 512;
        constexpr int prefetchRows = 3;
        // Target rows [from, to) into `into`, whose row 0 is target row `from`.
        const auto drawRows = [&](int from, int to, cv::Mat& into) {
            ImageCompositing::forRows(to - from, area.width(), [&](int r0, int r1) {
                r0 += from;
                r1 += from;
                // The column sums of the last source rows, source row j in slot j % slotCount: a target row's
                // rows are consecutive and fewer than the slots, and the next target row reuses most of them.
                const int slotCount = rows.stride;
                std::vector<uint16_t> cache(static_cast<size_t>(slotCount) * static_cast<size_t>(length));
                std::vector<int> held(static_cast<size_t>(slotCount), -1);
                const uint16_t* picked[64];
                uint16_t pickedWeights[64];
                for (int r = r0; r < r1; ++r) {
                    const uint16_t* wy = &rowWeights[static_cast<size_t>(r) * static_cast<size_t>(rows.stride)];
                    int count = 0;
                    for (int k = 0; k < rows.count[static_cast<size_t>(r)]; ++k) {
                        if (wy[k] == 0)
                            continue;
                        const int j = rows.first[static_cast<size_t>(r)] + k;
                        const size_t slot = static_cast<size_t>(j % slotCount);
                        uint16_t* line = &cache[slot * static_cast<size_t>(length)];
                        if (held[slot] != j) {
                            AreaPasses::sumColumns(source.ptr<uint8_t>(j), sums, line, true);
                            held[slot] = j;
                            // A narrow band reads a few cache lines per source row, too few for the hardware
                            // to see a stream: ask for the rows ahead.
                            if (narrow && j + prefetchRows < source.rows) {
                                const uint8_t* ahead = source.ptr<uint8_t>(j + prefetchRows);
                                for (int at = 4 * columns.low; at < 4 * columns.high; at += 64)
                                    __builtin_prefetch(ahead + at);
                            }
                        }
                        picked[count] = line;
                        pickedWeights[count++] = wy[k];
                    }
                    AreaPasses::mixRows(picked, pickedWeights, count, length, into.ptr<uint8_t>(r - from), true);
                }
            });
        };
        if (!drawn) {
            drawRows(0, area.height(), out);
            return;
        }
        for (int from = 0; from < area.height();) {
            const int to = ImageResampling::chunkEnd(area, from);
            drawRows(from, to, out);
            (*drawn)(out.rowRange(0, to - from), from);
            from = to;
        }
        return;
    }
    const int c0 = columns.low;
    const int span = columns.high - columns.low;
    const std::vector<uint16_t> columnWeights = fixedWeights(columns, columns.stride);
    if (drawn)
        out.create(area.height(), area.width(), CV_8UC4); // drawn whole, handed over at once
    ImageCompositing::forRows(area.height(), std::max(span, area.width()), [&](int r0, int r1) {
        std::vector<uint16_t> sum(static_cast<size_t>(std::max(span, 1)) * 4, 0);
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
    });
    if (drawn)
        (*drawn)(out, 0);
}

// Two taps with the same weights for every pixel of a run: out[c] = (w0 · a[c] + w1 · a[c + 1] + 32768) >> 16.
OLVENNAR_WIDE_VECTORS void mixTwoTapsPlain(uint8_t* __restrict out, const uint16_t* __restrict a, int count, uint32_t w0, uint32_t w1)
{
    for (int c = 0; c < count; ++c)
        out[c] = static_cast<uint8_t>((w0 * a[c] + w1 * a[c + 1] + 32768) >> 16);
}

// The plane's two row loops at AVX-512's width where the processor has it (the compiler's copies stop at
// AVX2's): the same integer arithmetic, wrapping alike, so the same bytes. Each returns how many it did.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized" // GCC 12's AVX-512 headers, falsely
__attribute__((target("avx512f,avx512bw"))) inline __m512i bytesAsWords(const uint8_t* at)
{
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
}

__attribute__((target("avx512f,avx512bw"))) inline __m512i wordsAsInts(const uint16_t* at)
{
    return _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
}

// Narrow rows (the strips along a window's rounded edges), 8 to 31 words, sixteen or eight at a time, with the
// same last step as below.
__attribute__((target("avx512f,avx512bw"))) int sumTwoNarrowRows(uint16_t* into, const uint8_t* a, const uint8_t* b, int count, uint16_t wa,
    uint16_t wb, bool onto)
{
    if (count >= 16) {
        const __m256i A = _mm256_set1_epi16(static_cast<short>(wa)), B = _mm256_set1_epi16(static_cast<short>(wb));
        const auto sumAt = [&](int at) __attribute__((target("avx512f,avx512bw"))) {
            const __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at))), A),
                _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at))), B));
            return onto ? _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(into + at)), v) : v;
        };
        const int last = count - 16;
        const __m256i tail = sumAt(last);
        for (int i = 0; i < last; i += 16)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(into + i), sumAt(i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(into + last), tail);
        return count;
    }
    if (count < 8)
        return 0;
    const __m128i A = _mm_set1_epi16(static_cast<short>(wa)), B = _mm_set1_epi16(static_cast<short>(wb));
    const auto sumAt = [&](int at) __attribute__((target("avx512f,avx512bw"))) {
        const __m128i v = _mm_add_epi16(_mm_mullo_epi16(_mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + at))), A),
            _mm_mullo_epi16(_mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + at))), B));
        return onto ? _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(into + at)), v) : v;
    };
    const __m128i tail = sumAt(count - 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(into), sumAt(0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(into + count - 8), tail);
    return count;
}

__attribute__((target("avx512f,avx512bw"))) int sumTwoRowsAvx512(uint16_t* into, const uint8_t* a, const uint8_t* b, int count, uint16_t wa,
    uint16_t wb, bool onto)
{
    const __m512i A = _mm512_set1_epi16(static_cast<short>(wa)), B = _mm512_set1_epi16(static_cast<short>(wb));
    if (count < 32)
        return sumTwoNarrowRows(into, a, b, count, wa, wb, onto);
    const auto sumAt = [&](int at) __attribute__((target("avx512f,avx512bw"))) {
        const __m512i v = _mm512_add_epi16(_mm512_mullo_epi16(bytesAsWords(a + at), A), _mm512_mullo_epi16(bytesAsWords(b + at), B));
        return onto ? _mm512_add_epi16(_mm512_loadu_si512(into + at), v) : v;
    };
    // The last 32 are summed first, from the sums as they were, and stored last over what the loop wrote
    // there: the same values, and no load runs past the row (a masked one would, slowly, near a page's end).
    const int last = count - 32;
    const __m512i tail = sumAt(last);
    for (int i = 0; i < last; i += 32)
        _mm512_storeu_si512(into + i, sumAt(i));
    _mm512_storeu_si512(into + last, tail);
    return count;
}

__attribute__((target("avx512f,avx512bw"))) int mixTwoTapsAvx512(uint8_t* out, const uint16_t* a, int count, uint32_t w0, uint32_t w1)
{
    const __m512i first = _mm512_set1_epi32(static_cast<int>(w0)), second = _mm512_set1_epi32(static_cast<int>(w1));
    const __m512i half = _mm512_set1_epi32(32768);
    if (count < 16)
        return 0;
    const auto mixAt = [&](int at) __attribute__((target("avx512f,avx512bw"))) {
        const __m512i v = _mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(wordsAsInts(a + at), first), _mm512_mullo_epi32(wordsAsInts(a + at + 1), second)), half);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm512_cvtepi32_epi8(_mm512_srli_epi32(v, 16)));
    };
    // The last sixteen again where they overlap the loop's: each pixel comes from the sums alone.
    for (int c = 0; c + 16 <= count; c += 16)
        mixAt(c);
    mixAt(count - 16);
    return count;
}
#pragma GCC diagnostic pop

void sumTwoRows(uint16_t* into, const uint8_t* a, const uint8_t* b, int count, uint16_t wa, uint16_t wb, bool onto)
{
    const int done = WideVectors::hasAvx512() ? sumTwoRowsAvx512(into, a, b, count, wa, wb, onto) : 0;
    sumTwoRowsPlain(into + done, a + done, b + done, count - done, wa, wb, onto);
}

void mixTwoTaps(uint8_t* out, const uint16_t* a, int count, uint32_t w0, uint32_t w1)
{
    const int done = WideVectors::hasAvx512() ? mixTwoTapsAvx512(out, a, count, w0, w1) : 0;
    mixTwoTapsPlain(out + done, a + done, count - done, w0, w1);
}

// What one plane's resample needs besides the pixels: the taps, their fixed-point weights and the vector
// passes' tables. A steady frame draws the same pieces at the same scale frame after frame, so each thread
// keeps the last few instead of working them out again.
struct PlaneTaps {
    std::shared_ptr<const Taps> columns; // shared with the axis cache, not copied
    std::shared_ptr<const Taps> rows;
    std::vector<uint16_t> rowWeights;
    std::vector<uint16_t> columnWeights;
    int runBegin = 0; // the longest run of columns with the same two taps on consecutive pixels
    int runEnd = 0;
    std::pair<uint32_t, uint32_t> runTaps; // the run's two weights
    AreaPasses::PlaneColumns fewTaps;
};

struct PlaneGeometry {
    QRect area;
    cv::Size source;
    double sx, sy, tx, ty;
    bool clampEdges;
    bool operator==(const PlaneGeometry&) const = default;
};

std::shared_ptr<const PlaneTaps> makePlaneTaps(const PlaneGeometry& g)
{
    auto made = std::make_shared<PlaneTaps>();
    made->columns = axisTaps(g.area.width(), g.area.x(), g.sx, g.tx, g.source.width, g.clampEdges);
    made->rows = axisTaps(g.area.height(), g.area.y(), g.sy, g.ty, g.source.height, g.clampEdges);
    const Taps& columns = *made->columns;
    made->rowWeights = fixedWeights(*made->rows, made->rows->stride);
    const std::vector<uint16_t>& columnWeights = made->columnWeights = fixedWeights(columns, columns.stride);
    // A move by a fraction of a pixel gives every column the same two weights on consecutive pixels: the
    // longest such run takes the vector loop.
    const size_t stride = static_cast<size_t>(columns.stride);
    const auto taps = [&](int c) {
        const size_t i = static_cast<size_t>(c);
        return std::pair<uint32_t, uint32_t>(columnWeights[i * stride], columns.count[i] < 2 ? 0 : columnWeights[i * stride + 1]);
    };
    const auto twoTaps = [&](int c) { return columns.count[static_cast<size_t>(c)] == 1 || columns.count[static_cast<size_t>(c)] == 2; };
    for (int c = 0, start = 0; c < g.area.width(); ++c) {
        const bool continues = twoTaps(c) && twoTaps(start) && taps(c) == taps(start)
            && columns.first[static_cast<size_t>(c)] == columns.first[static_cast<size_t>(start)] + (c - start);
        if (!continues)
            start = c;
        if (twoTaps(start) && c + 1 - start > made->runEnd - made->runBegin) {
            made->runBegin = start;
            made->runEnd = c + 1;
        }
    }
    if (made->runEnd > made->runBegin)
        made->runTaps = taps(made->runBegin);
    // Columns with a few taps (shrinking to no less than a quarter) go eight at a time; the sums are padded
    // so that the taps past a pixel's own read zeros inside the buffer. A row that is one run (a drifting
    // backdrop, new taps every frame) needs none of it.
    if (made->runBegin == 0 && made->runEnd == g.area.width())
        return made;
    std::vector<int> firstInSpan(columns.first.size());
    // A pixel beside the source has no taps and starts at 0, which may lie before the span: it reads (at weight
    // zero) from the span's start instead, so no read falls outside the sums.
    for (size_t c = 0; c < columns.first.size(); ++c)
        firstInSpan[c] = columns.count[c] == 0 ? 0 : columns.first[c] - columns.low;
    made->fewTaps = AreaPasses::planeColumns(firstInSpan, columnWeights, columns.stride, columns.count);
    return made;
}

std::shared_ptr<const PlaneTaps> planeTaps(const PlaneGeometry& geometry)
{
    // Most recent first; enough for a frame's pieces of every plane (about forty in a studio frame), with room
    // for the drifting backdrop's, new every frame, to pass through without pushing out the ones that repeat.
    constexpr size_t kept = 64;
    thread_local std::vector<std::pair<PlaneGeometry, std::shared_ptr<const PlaneTaps>>> recent;
    const auto found = std::find_if(recent.begin(), recent.end(), [&](const auto& entry) { return entry.first == geometry; });
    if (found != recent.end()) {
        std::rotate(recent.begin(), found, found + 1);
        return recent.front().second;
    }
    std::shared_ptr<const PlaneTaps> made = makePlaneTaps(geometry);
    recent.insert(recent.begin(), {geometry, made});
    if (recent.size() > kept)
        recent.pop_back();
    return made;
}

// One plane, resampled as drawArea does: the weighted source rows summed over the columns read, then each
// target pixel's column taps, with the same rounding.
void drawPlaneArea(const cv::Mat& source, double sx, double sy, double tx, double ty, const QRect& area, cv::Mat& out, bool clampEdges)
{
    const std::shared_ptr<const PlaneTaps> plan = planeTaps({area, source.size(), sx, sy, tx, ty, clampEdges});
    const Taps& columns = *plan->columns;
    const Taps& rows = *plan->rows;
    const std::vector<uint16_t>& rowWeights = plan->rowWeights;
    const std::vector<uint16_t>& columnWeights = plan->columnWeights;
    const int c0 = columns.low;
    const int span = columns.high - columns.low;
    const int runBegin = plan->runBegin, runEnd = plan->runEnd;
    const AreaPasses::PlaneColumns& fewTaps = plan->fewTaps;
    ImageCompositing::forRows(area.height(), std::max(span, area.width()), [&](int r0, int r1) {
        std::vector<uint16_t> acc(static_cast<size_t>(std::max(span, 1)) + 32, 0);
        for (int r = r0; r < r1; ++r) {
            uint8_t* target = out.ptr<uint8_t>(r);
            const int n = rows.count[static_cast<size_t>(r)];
            if (n == 0 || span <= 0) {
                std::fill(target, target + area.width(), uint8_t(0));
                continue;
            }
            // The weighted rows, two at a time in one pass; the words past the span stay zero.
            const uint16_t* wy = &rowWeights[static_cast<size_t>(r) * static_cast<size_t>(rows.stride)];
            int summed = 0;
            const uint8_t* pending = nullptr;
            uint16_t pendingWeight = 0;
            for (int k = 0; k < n; ++k) {
                if (wy[k] == 0)
                    continue;
                const uint8_t* line = source.ptr<uint8_t>(rows.first[static_cast<size_t>(r)] + k) + c0;
                if (!pending) {
                    pending = line;
                    pendingWeight = wy[k];
                    continue;
                }
                sumTwoRows(acc.data(), pending, line, span, pendingWeight, wy[k], summed > 0);
                summed += 2;
                pending = nullptr;
            }
            if (pending)
                sumTwoRows(acc.data(), pending, pending, span, pendingWeight, 0, summed > 0);
            else if (summed == 0)
                std::fill(acc.begin(), acc.begin() + span, uint16_t(0));
            const auto mixColumn = [&](int c) {
                const uint16_t* w = &columnWeights[static_cast<size_t>(c) * static_cast<size_t>(columns.stride)];
                const uint16_t* a = acc.data() + (columns.first[static_cast<size_t>(c)] - c0);
                uint32_t v = 0;
                for (int k = 0; k < columns.count[static_cast<size_t>(c)]; ++k)
                    v += static_cast<uint32_t>(w[k]) * a[k];
                target[c] = static_cast<uint8_t>((v + 32768) >> 16);
            };
            if (fewTaps.taps > 0 && runEnd - runBegin < area.width()) {
                AreaPasses::mixPlaneColumns(acc.data(), fewTaps, target, true);
                continue;
            }
            for (int c = 0; c < runBegin; ++c)
                mixColumn(c);
            if (runEnd > runBegin) {
                const auto [w0, w1] = plan->runTaps;
                mixTwoTaps(target + runBegin, acc.data() + (columns.first[static_cast<size_t>(runBegin)] - c0), runEnd - runBegin, w0, w1);
            }
            for (int c = runEnd; c < area.width(); ++c)
                mixColumn(c);
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

// The general way for any scale and offset (flips, tiny scales, Lanczos): shrunk by area first, then
// warped from pixel centres. `out` already has the area's size and the source's type.
void warp(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, ImageResampling::Filter filter, bool clampEdges)
{
    const double sx = std::abs(toTarget.m11());
    const double sy = std::abs(toTarget.m22());
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
    const int interpolation = (filter == ImageResampling::Filter::lanczos && upscaling) ? cv::INTER_LANCZOS4 : cv::INTER_LINEAR;
    cv::warpAffine(input, out, inverse, out.size(), interpolation | cv::WARP_INVERSE_MAP,
        clampEdges ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT, cv::Scalar::all(0));
    if (interpolation == cv::INTER_LANCZOS4 && out.type() == CV_8UC4) {
        // Lanczos rings past the alpha of premultiplied pixels; keep colour within alpha.
        ImageCompositing::keepColourWithinAlpha(out);
    }
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

namespace {

// One way to draw a picture, whole or (`drawn` given) handed over in chunks: the area passes where the map is an
// axis-aligned scale and offset and the filter allows, else a warp.
void drawPicture(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, ImageResampling::Filter filter,
    bool clampEdges, const ImageResampling::RowsDrawn* drawn)
{
    const double sx = std::abs(toTarget.m11());
    const double sy = std::abs(toTarget.m22());
    const bool blank = source.empty() || !(sx > 0) || !(sy > 0) || !toTarget.isInvertible();
    const bool enlarging = sx > 1.001 || sy > 1.001;
    if (!blank && !(filter == ImageResampling::Filter::lanczos && enlarging) && sx >= 1.0 / 60 && sy >= 1.0 / 60 && toTarget.m11() > 0
        && toTarget.m22() > 0 && toTarget.m12() == 0 && toTarget.m21() == 0) {
        out.create(drawn ? std::min(area.height(), ImageResampling::chunkRows) : area.height(), area.width(), CV_8UC4);
        drawArea(source, sx, sy, toTarget.dx(), toTarget.dy(), area, out, clampEdges, drawn);
        return;
    }
    out.create(area.height(), area.width(), CV_8UC4);
    if (blank)
        out.setTo(cv::Scalar::all(0));
    else
        warp(source, toTarget, area, out, filter, clampEdges);
    if (drawn)
        (*drawn)(out, 0);
}

} // namespace

void ImageResampling::draw(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, Filter filter,
    bool clampEdges)
{
    if (area.isEmpty()) {
        out.release();
        return;
    }
    drawPicture(source, toTarget, area, out, filter, clampEdges, nullptr);
}

int ImageResampling::chunkEnd(const QRect& area, int from)
{
    // Whole chunks end on even target rows.
    const int end = area.y() + from + chunkRows;
    return std::min(end - (end & 1) - area.y(), area.height());
}

void ImageResampling::drawInRows(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, Filter filter,
    bool clampEdges, const RowsDrawn& drawn)
{
    if (!area.isEmpty())
        drawPicture(source, toTarget, area, out, filter, clampEdges, &drawn);
}

void ImageResampling::drawPlane(const cv::Mat& source, const QTransform& toTarget, const QRect& area, cv::Mat& out, bool clampEdges,
    Filter filter)
{
    if (area.isEmpty()) {
        out.release();
        return;
    }
    out.create(area.height(), area.width(), CV_8UC1);
    const double sx = toTarget.m11(), sy = toTarget.m22();
    if (source.empty() || source.type() != CV_8UC1 || !toTarget.isInvertible()) {
        out.setTo(0);
        return;
    }
    if (filter == Filter::lanczos && (sx > 1.001 || sy > 1.001)) {
        warp(source, toTarget, area, out, filter, clampEdges);
        return;
    }
    if (sx >= 1.0 / 60 && sy >= 1.0 / 60 && toTarget.m12() == 0 && toTarget.m21() == 0) {
        drawPlaneArea(source, sx, sy, toTarget.dx(), toTarget.dy(), area, out, clampEdges);
        return;
    }
    // Anything else (flips, tiny scales): linear, from pixel centres.
    const QTransform indexMap = QTransform::fromTranslate(0.5, 0.5) * toTarget * QTransform::fromTranslate(-area.x() - 0.5, -area.y() - 0.5);
    const QTransform back = indexMap.inverted();
    const cv::Matx23d inverse(back.m11(), back.m21(), back.dx(), back.m12(), back.m22(), back.dy());
    cv::warpAffine(source, out, inverse, out.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
        clampEdges ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT, cv::Scalar::all(0));
}
