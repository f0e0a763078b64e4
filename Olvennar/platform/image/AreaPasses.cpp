// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/AreaPasses.h"

#include "platform/system/WideVectors.h"

#include <immintrin.h>

#include <algorithm>

namespace {

constexpr int groupSize = 4;

void sumPixel(const uint8_t* line, const AreaPasses::Columns& columns, int c, uint16_t* sums)
{
    const uint16_t* w = &columns.weights[static_cast<size_t>(c) * static_cast<size_t>(columns.taps)];
    const uint8_t* p = line + 4 * columns.first[static_cast<size_t>(c)];
    uint32_t s[4] = {0, 0, 0, 0};
    for (int k = 0; k < columns.taps; ++k) {
        for (int ch = 0; ch < 4; ++ch)
            s[ch] += static_cast<uint32_t>(w[k]) * p[4 * k + ch];
    }
    for (int ch = 0; ch < 4; ++ch)
        sums[4 * c + ch] = static_cast<uint16_t>(s[ch]);
}

// The byte shuffle of a group shape: in each lane, the four channels of the lane's first pixel (bytes
// 0…3 of its load) and of its second (d pixels on) as words, the high bytes zeroed.
void writeShuffle(int firstSpread, int secondSpread, uint8_t* bytes)
{
    for (int lane = 0; lane < 2; ++lane) {
        const int d = lane == 0 ? firstSpread : secondSpread;
        for (int word = 0; word < 8; ++word) {
            const int source = word < 4 ? word : 4 * d + word - 4;
            bytes[16 * lane + 2 * word] = static_cast<uint8_t>(source);
            bytes[16 * lane + 2 * word + 1] = 0x80;
        }
    }
}

// How a group of four pixels is summed.
enum GroupPath : uint8_t {
    scalarGroup, // pixels beside the source, whose starts go back
    directGroup, // the loads stay inside the row
    copiedGroup, // the loads would run past the row's end: from a zero-padded copy of its last pixels
};
constexpr int copiedPixels = 16;

// One group's four pixels, two per lane, each lane's taps loaded from `low` and `high`; products and sums
// stay below 65536, so 16-bit lanes hold them exactly.
template <int taps>
__attribute__((target("avx2"))) inline __m256i groupSums(const uint8_t* low, const uint8_t* high, const uint8_t* shuffle, const uint16_t* w)
{
    const __m256i pick = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shuffle));
    __m256i sum = _mm256_setzero_si256();
    for (int k = 0; k < taps; ++k) {
        const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low + 4 * k))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(high + 4 * k)), 1);
        const __m256i words = _mm256_shuffle_epi8(bytes, pick);
        const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * k));
        sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(words, weights));
    }
    return sum;
}

// Two groups of the direct run at a time where the processor has AVX-512: each 128-bit lane loads what the
// AVX2 pass's lanes load, so the sums are the same. Returns the first group it left.
template <int taps>
__attribute__((target("avx512f,avx512bw"))) int sumDirectPairsAvx512(const uint8_t* line, const AreaPasses::Columns& columns, uint16_t* sums)
{
    const int32_t* starts = columns.groupStarts.data();
    const uint8_t* shuffles = columns.groupShuffles.data();
    const uint16_t* weights = columns.groupWeights.data();
    const auto quarter = [](const uint8_t* at) __attribute__((target("avx512f,avx512bw"))) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    int g = columns.directBegin;
    for (; g + 2 <= columns.directEnd; g += 2) {
        const uint8_t* lows[2] = {line + 4 * starts[2 * g], line + 4 * starts[2 * g + 2]};
        const uint8_t* highs[2] = {line + 4 * starts[2 * g + 1], line + 4 * starts[2 * g + 3]};
        const __m512i pick = _mm512_loadu_si512(shuffles + 32 * static_cast<size_t>(g));
        const uint16_t* w = weights + static_cast<size_t>(g) * taps * 16;
        __m512i sum = _mm512_setzero_si512();
        for (int k = 0; k < taps; ++k) {
            __m512i bytes = _mm512_castsi128_si512(quarter(lows[0] + 4 * k));
            bytes = _mm512_inserti32x4(bytes, quarter(highs[0] + 4 * k), 1);
            bytes = _mm512_inserti32x4(bytes, quarter(lows[1] + 4 * k), 2);
            bytes = _mm512_inserti32x4(bytes, quarter(highs[1] + 4 * k), 3);
            const __m512i pairWeights = _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * k))),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + taps * 16 + 16 * k)), 1);
            sum = _mm512_add_epi16(sum, _mm512_mullo_epi16(_mm512_shuffle_epi8(bytes, pick), pairWeights));
        }
        _mm512_storeu_si512(sums + 16 * static_cast<size_t>(g), sum);
    }
    return g;
}

template <int taps>
__attribute__((target("avx2"))) void sumColumnsAvx2(const uint8_t* line, const AreaPasses::Columns& columns, uint16_t* sums)
{
    const int width = static_cast<int>(columns.first.size());
    const int groups = (width + groupSize - 1) / groupSize;
    const int32_t* starts = columns.groupStarts.data();
    const uint8_t* shuffles = columns.groupShuffles.data();
    const uint16_t* weights = columns.groupWeights.data();
    // The run of groups in the middle of the row, with nothing to decide per group.
    const int wideDone = WideVectors::hasAvx512() ? sumDirectPairsAvx512<taps>(line, columns, sums) : columns.directBegin;
    for (int g = wideDone; g < columns.directEnd; ++g) {
        const __m256i sum = groupSums<taps>(line + 4 * starts[2 * g], line + 4 * starts[2 * g + 1], shuffles + 32 * static_cast<size_t>(g),
            weights + static_cast<size_t>(g) * taps * 16);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 16 * static_cast<size_t>(g)), sum);
    }
    for (int g = 0; g < groups; ++g) {
        if (g == columns.directBegin && columns.directEnd > g)
            g = columns.directEnd;
        if (g >= groups)
            break;
        const int c = g * groupSize;
        const int pixels = std::min(groupSize, width - c);
        const GroupPath path = static_cast<GroupPath>(columns.groupPaths[static_cast<size_t>(g)]);
        if (path == scalarGroup) {
            for (int i = 0; i < pixels; ++i)
                sumPixel(line, columns, c + i, sums);
            continue;
        }
        const uint8_t* low = line + 4 * starts[2 * g];
        const uint8_t* high = line + 4 * starts[2 * g + 1];
        alignas(32) uint8_t copied[4 * copiedPixels];
        if (path == copiedGroup) {
            const int available = std::min(columns.sourceWidth - starts[2 * g], copiedPixels);
            std::fill(std::copy(low, low + 4 * available, copied), copied + sizeof(copied), uint8_t(0));
            high = copied + (high - low);
            low = copied;
        }
        const __m256i sum = groupSums<taps>(low, high, shuffles + 32 * static_cast<size_t>(g), weights + static_cast<size_t>(g) * taps * 16);
        alignas(32) uint16_t last[4 * groupSize];
        _mm256_store_si256(reinterpret_cast<__m256i*>(last), sum);
        std::copy(last, last + 4 * pixels, sums + 4 * c);
    }
}

void mixRowsPlain(const uint16_t* const* rows, const uint16_t* weights, int count, int from, int length, uint8_t* out)
{
    for (int i = from; i < length; ++i) {
        uint32_t v = 32768;
        for (int j = 0; j < count; ++j)
            v += static_cast<uint32_t>(weights[j]) * rows[j][i];
        out[i] = static_cast<uint8_t>(v >> 16);
    }
}

// Sixteen words of two rows at a time through madd: the words, unsigned, are taken less 32768 to fit the
// signed multiply, and 32768 · Σ weights comes back in the starting sum, so the total is exact.
__attribute__((target("avx2"))) __m256i mixSixteen(const uint16_t* const* rows, const __m256i* pairs, int count, int i, __m256i start)
{
    const __m256i flip = _mm256_set1_epi16(static_cast<short>(0x8000));
    __m256i low = start, high = start;
    for (int j = 0; j < count; j += 2) {
        const __m256i a = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[j] + i)), flip);
        const __m256i b = j + 1 < count ? _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[j + 1] + i)), flip)
                                        : _mm256_setzero_si256();
        low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), pairs[j / 2]));
        high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), pairs[j / 2]));
    }
    // The unpacks split each 128-bit lane in halves; the pack puts them back in order.
    return _mm256_packs_epi32(_mm256_srli_epi32(low, 16), _mm256_srli_epi32(high, 16));
}

// Rows mixed by madd take at most this many rows; more go the plain way.
constexpr int maxMixedRows = 64;

// Each pair of rows' two weights as one 32-bit word (the first low), and the starting sum that puts back the
// offset the words were taken less.
struct RowPairs {
    uint32_t pairs[maxMixedRows / 2];
    uint32_t start = 0;

    RowPairs(const uint16_t* weights, int count)
    {
        uint32_t total = 0;
        for (int j = 0; j < count; j += 2) {
            const uint32_t second = j + 1 < count ? weights[j + 1] : 0;
            pairs[j / 2] = weights[j] | second << 16;
            total += weights[j] + second;
        }
        start = 32768 * total + 32768;
    }
};

// mixSixteen at AVX-512's width: 32 words of two rows at a time, the same sums.
__attribute__((target("avx512f,avx512bw"))) __m512i mixThirtyTwo(const uint16_t* const* rows, const RowPairs& weights, int count, int i)
{
    const __m512i flip = _mm512_set1_epi16(static_cast<short>(0x8000));
    __m512i low = _mm512_set1_epi32(static_cast<int>(weights.start)), high = low;
    for (int j = 0; j < count; j += 2) {
        const __m512i pair = _mm512_set1_epi32(static_cast<int>(weights.pairs[j / 2]));
        const __m512i a = _mm512_xor_si512(_mm512_loadu_si512(rows[j] + i), flip);
        const __m512i b = j + 1 < count ? _mm512_xor_si512(_mm512_loadu_si512(rows[j + 1] + i), flip) : _mm512_setzero_si512();
        low = _mm512_add_epi32(low, _mm512_madd_epi16(_mm512_unpacklo_epi16(a, b), pair));
        high = _mm512_add_epi32(high, _mm512_madd_epi16(_mm512_unpackhi_epi16(a, b), pair));
    }
    return _mm512_packs_epi32(_mm512_maskz_srli_epi32(0xFFFF, low, 16), _mm512_maskz_srli_epi32(0xFFFF, high, 16));
}

// Sixty-four bytes of the mixed rows at a time; returns how many it did.
__attribute__((target("avx512f,avx512bw"))) int mixRowsAvx512(const uint16_t* const* rows, const RowPairs& weights, int count, int length, uint8_t* out)
{
    // The packs and the pack of both halves interleave 128-bit lanes: eight bytes of the first, eight of the
    // second, lane by lane; the permute puts them back in order.
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    int i = 0;
    for (; i + 64 <= length; i += 64) {
        const __m512i first = mixThirtyTwo(rows, weights, count, i);
        const __m512i second = mixThirtyTwo(rows, weights, count, i + 32);
        _mm512_storeu_si512(out + i, _mm512_maskz_permutexvar_epi64(0xFF, order, _mm512_packus_epi16(first, second)));
    }
    return i;
}

__attribute__((target("avx2"))) void mixRowsAvx2(const uint16_t* const* rows, const uint16_t* weights, int count, int length, uint8_t* out)
{
    if (count > maxMixedRows) {
        mixRowsPlain(rows, weights, count, 0, length, out);
        return;
    }
    const RowPairs rowPairs(weights, count);
    __m256i pairs[maxMixedRows / 2];
    for (int j = 0; j < count; j += 2)
        pairs[j / 2] = _mm256_set1_epi32(static_cast<int>(rowPairs.pairs[j / 2]));
    const __m256i start = _mm256_set1_epi32(static_cast<int>(rowPairs.start));
    int i = WideVectors::hasAvx512() ? mixRowsAvx512(rows, rowPairs, count, length, out) : 0;
    for (; i + 32 <= length; i += 32) {
        const __m256i first = mixSixteen(rows, pairs, count, i, start);
        const __m256i second = mixSixteen(rows, pairs, count, i + 16, start);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
    }
    mixRowsPlain(rows, weights, count, i, length, out);
}

} // namespace

AreaPasses::Columns AreaPasses::columns(std::vector<int> first, std::vector<uint16_t> weights, int taps, int sourceWidth)
{
    Columns result;
    result.taps = taps;
    result.sourceWidth = sourceWidth;
    const size_t width = first.size();
    for (size_t c = 0; c < width; ++c) {
        const int past = first[c] + taps - sourceWidth;
        if (past <= 0)
            continue;
        uint16_t* w = &weights[c * static_cast<size_t>(taps)];
        std::copy_backward(w, w + taps - past, w + taps);
        std::fill(w, w + past, uint16_t(0));
        first[c] -= past;
    }
    // The last group is padded with pixels of no weight that start where the last real one does.
    const size_t groups = (width + groupSize - 1) / groupSize;
    const auto startOf = [&](size_t c) { return first[std::min(c, width - 1)]; };
    result.groupStarts.assign(2 * groups, 0);
    result.groupShuffles.assign(groups * 32, 0);
    result.groupWeights.assign(groups * static_cast<size_t>(taps) * 16, 0);
    result.groupPaths.assign(groups, scalarGroup);
    for (size_t g = 0; g < groups; ++g) {
        bool inRange = true, insideRow = true;
        int spreads[2] = {0, 0};
        for (size_t lane = 0; lane < 2; ++lane) {
            const int start = startOf(g * groupSize + 2 * lane);
            const int d = startOf(g * groupSize + 2 * lane + 1) - start;
            inRange = inRange && d >= 0 && d < 4;
            // The lane reads four pixels from start + tap.
            insideRow = insideRow && start + taps - 1 + 4 <= sourceWidth;
            result.groupStarts[2 * g + lane] = start;
            spreads[lane] = std::clamp(d, 0, 3);
        }
        const int spread = result.groupStarts[2 * g + 1] - result.groupStarts[2 * g];
        writeShuffle(spreads[0], spreads[1], &result.groupShuffles[32 * g]);
        if (inRange && insideRow)
            result.groupPaths[g] = directGroup;
        else if (inRange && spread >= 0 && spread + taps - 1 + 4 <= copiedPixels)
            result.groupPaths[g] = copiedGroup;
        for (size_t i = 0; i < groupSize && g * groupSize + i < width; ++i) {
            const size_t c = g * groupSize + i;
            for (int k = 0; k < taps; ++k)
                std::fill_n(&result.groupWeights[(g * static_cast<size_t>(taps) + static_cast<size_t>(k)) * 16 + 4 * i], 4,
                    weights[c * static_cast<size_t>(taps) + static_cast<size_t>(k)]);
        }
    }
    // The longest run of whole groups read straight from the row.
    for (size_t g = 0, runStart = 0; g <= groups; ++g) {
        const bool direct = g < groups && result.groupPaths[g] == directGroup && (g + 1) * groupSize <= width;
        if (direct)
            continue;
        if (static_cast<int>(g - runStart) > result.directEnd - result.directBegin) {
            result.directBegin = static_cast<int>(runStart);
            result.directEnd = static_cast<int>(g);
        }
        runStart = g + 1;
    }
    result.first = std::move(first);
    result.weights = std::move(weights);
    return result;
}

void AreaPasses::sumColumns(const uint8_t* line, const Columns& columns, uint16_t* sums, bool wide)
{
    if (wide && wideAvailable()) {
        switch (columns.taps) {
        case 1: sumColumnsAvx2<1>(line, columns, sums); return;
        case 2: sumColumnsAvx2<2>(line, columns, sums); return;
        case 3: sumColumnsAvx2<3>(line, columns, sums); return;
        case 4: sumColumnsAvx2<4>(line, columns, sums); return;
        default: break;
        }
    }
    for (int c = 0; c < static_cast<int>(columns.first.size()); ++c)
        sumPixel(line, columns, c, sums);
}

void AreaPasses::mixRows(const uint16_t* const* rows, const uint16_t* weights, int count, int length, uint8_t* out, bool wide)
{
    if (wide && wideAvailable())
        mixRowsAvx2(rows, weights, count, length, out);
    else
        mixRowsPlain(rows, weights, count, 0, length, out);
}

namespace {

uint8_t planePixel(const uint16_t* sums, const AreaPasses::PlaneColumns& columns, int c)
{
    const size_t group = static_cast<size_t>(c / 8), lane = static_cast<size_t>(c % 8);
    const uint16_t* a = sums + columns.first[static_cast<size_t>(c)];
    uint32_t v = 32768;
    for (int k = 0; k < columns.taps; ++k)
        v += columns.weights[(group * static_cast<size_t>(columns.taps) + static_cast<size_t>(k)) * 8 + lane] * a[k];
    return static_cast<uint8_t>(v >> 16);
}

// Where group g's (eight pixels) weights of tap pair p start: sixteen pixels a block, pair by pair, so that
// either eight or sixteen pixels load theirs at once.
inline size_t pairWeightsAt(int g, int p, int pairs)
{
    return (static_cast<size_t>(g / 2) * static_cast<size_t>(pairs) + static_cast<size_t>(p)) * 16 + static_cast<size_t>(g % 2) * 8;
}

// Eight pixels, group g. A group whose halves read near their first pixel's start loads each half's sums
// (eight words) once per tap pair and shuffles every pixel's pair of sums into place; the sums, made signed
// by their offset, and the pair's weights go through one multiply-add, and the pixel's rounding puts the
// offset back, so the result is the plain one. Other groups gather each tap pair of two neighbouring sums.
__attribute__((target("avx2"))) inline void mixPlaneGroupAvx2(const uint16_t* sums, const AreaPasses::PlaneColumns& columns, int g, uint8_t* out)
{
    const int pairs = (columns.taps + 1) / 2;
    const size_t at = static_cast<size_t>(g) * 8;
    __m256i v;
    if (columns.shuffled[static_cast<size_t>(g)]) {
        const __m256i offset = _mm256_set1_epi16(static_cast<short>(0x8000));
        const __m256i shuffle = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&columns.shuffles[at * 4]));
        const uint16_t* first = sums + columns.first[at];
        const uint16_t* second = sums + columns.first[at + 4];
        v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&columns.rounding[at]));
        for (int p = 0; p < pairs; ++p) {
            const __m256i words = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(second + 2 * p),
                reinterpret_cast<const __m128i*>(first + 2 * p));
            const __m256i signedPairs = _mm256_xor_si256(_mm256_shuffle_epi8(words, shuffle), offset);
            const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&columns.pairWeights[pairWeightsAt(g, p, pairs)]));
            v = _mm256_add_epi32(v, _mm256_madd_epi16(signedPairs, w));
        }
    } else {
        const __m256i low = _mm256_set1_epi32(0xFFFF);
        const int* base = reinterpret_cast<const int*>(sums);
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&columns.first[at]));
        const uint32_t* w = &columns.weights[at * static_cast<size_t>(columns.taps)];
        v = _mm256_set1_epi32(32768);
        for (int k = 0; k < columns.taps; k += 2) {
            // Scale 2: the index counts 16-bit sums; the 32-bit load takes sums k and k + 1.
            const __m256i pair = _mm256_i32gather_epi32(base, _mm256_add_epi32(first, _mm256_set1_epi32(k)), 2);
            const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8 * k));
            v = _mm256_add_epi32(v, _mm256_mullo_epi32(_mm256_and_si256(pair, low), w0));
            if (k + 1 < columns.taps) {
                const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8 * (k + 1)));
                v = _mm256_add_epi32(v, _mm256_mullo_epi32(_mm256_srli_epi32(pair, 16), w1));
            }
        }
    }
    v = _mm256_srli_epi32(v, 16);
    const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_packus_epi16(words, words));
}

__attribute__((target("avx2"))) void mixPlaneColumnsAvx2(const uint16_t* sums, const AreaPasses::PlaneColumns& columns, uint8_t* out)
{
    const int whole = columns.count / 8;
    for (int g = 0; g < whole; ++g)
        mixPlaneGroupAvx2(sums, columns, g, out);
    for (int c = 8 * whole; c < columns.count; ++c)
        out[c] = planePixel(sums, columns, c);
}

// Sixteen pixels at a time where their sums lie within 32 words of the first one's start: one load, and per
// tap pair one word permute puts every pixel's pair in place for the multiply-add, as the shuffles above.
__attribute__((target("avx512f,avx512bw"))) void mixPlaneColumnsAvx512(const uint16_t* sums, const AreaPasses::PlaneColumns& columns, uint8_t* out)
{
    const int whole = columns.count / 16;
    const int pairs = (columns.taps + 1) / 2;
    const __m512i offset = _mm512_set1_epi16(static_cast<short>(0x8000));
    for (int g = 0; g < whole; ++g) {
        const size_t at = static_cast<size_t>(g) * 16;
        if (!columns.wide[static_cast<size_t>(g)]) {
            mixPlaneGroupAvx2(sums, columns, 2 * g, out);
            mixPlaneGroupAvx2(sums, columns, 2 * g + 1, out);
            continue;
        }
        const __m512i words = _mm512_loadu_si512(sums + columns.first[at]);
        const __m512i index = _mm512_loadu_si512(&columns.wideIndex[at * 2]);
        __m512i v = _mm512_loadu_si512(&columns.rounding[at]);
        for (int p = 0; p < pairs; ++p) {
            const __m512i pairIndex = _mm512_add_epi16(index, _mm512_set1_epi16(static_cast<short>(2 * p)));
            const __m512i signedPairs = _mm512_xor_si512(_mm512_permutexvar_epi16(pairIndex, words), offset);
            v = _mm512_add_epi32(v, _mm512_madd_epi16(signedPairs, _mm512_loadu_si512(&columns.pairWeights[pairWeightsAt(2 * g, p, pairs)])));
        }
        // The masked forms (every lane kept) spare GCC 12's headers a false "uninitialized" warning.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm512_maskz_cvtepi32_epi8(0xFFFF, _mm512_maskz_srli_epi32(0xFFFF, v, 16)));
    }
    for (int g = 2 * whole; g < columns.count / 8; ++g)
        mixPlaneGroupAvx2(sums, columns, g, out);
    for (int c = 8 * (columns.count / 8); c < columns.count; ++c)
        out[c] = planePixel(sums, columns, c);
}

} // namespace

AreaPasses::PlaneColumns AreaPasses::planeColumns(const std::vector<int>& first, const std::vector<uint16_t>& weights, int stride,
    const std::vector<int>& counts)
{
    PlaneColumns columns;
    const int most = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
    if (most > 4 || first.empty())
        return columns;
    columns.taps = std::max(most, 1);
    columns.count = static_cast<int>(first.size());
    const size_t groups = (first.size() + 7) / 8;
    columns.first.assign(groups * 8, 0);
    columns.weights.assign(groups * 8 * static_cast<size_t>(columns.taps), 0);
    for (size_t c = 0; c < first.size(); ++c) {
        columns.first[c] = first[c];
        for (int k = 0; k < std::min(counts[c], columns.taps); ++k)
            columns.weights[((c / 8) * static_cast<size_t>(columns.taps) + static_cast<size_t>(k)) * 8 + c % 8] =
                weights[c * static_cast<size_t>(stride) + static_cast<size_t>(k)];
    }
    // The shuffle's tables: a half's pixels must start at most six sums after its first, so that each
    // pixel's pair lies in the half's eight loaded words.
    const size_t pairs = static_cast<size_t>((columns.taps + 1) / 2);
    columns.shuffled.assign(groups, 0);
    columns.shuffles.assign(groups * 32, 0);
    columns.pairWeights.assign((groups + 1) / 2 * 16 * pairs, 0);
    columns.rounding.assign(groups * 8, 32768);
    const auto weightOf = [&](size_t c, size_t k) {
        return k < static_cast<size_t>(columns.taps) ? columns.weights[((c / 8) * static_cast<size_t>(columns.taps) + k) * 8 + c % 8] : 0u;
    };
    for (size_t g = 0; g < groups; ++g) {
        bool fits = true;
        for (size_t j = 0; j < 8; ++j) {
            const int spread = columns.first[8 * g + j] - columns.first[8 * g + (j < 4 ? 0 : 4)];
            fits = fits && spread >= 0 && spread <= 6;
            for (int b = 0; b < 4; ++b)
                columns.shuffles[32 * g + 4 * j + static_cast<size_t>(b)] = static_cast<uint8_t>(2 * std::max(spread, 0) + b);
        }
        columns.shuffled[g] = fits ? 1 : 0;
        for (size_t j = 0; j < 8; ++j) {
            const size_t c = 8 * g + j;
            uint32_t total = 0;
            for (size_t p = 0; p < pairs; ++p) {
                const uint32_t w0 = weightOf(c, 2 * p), w1 = weightOf(c, 2 * p + 1);
                columns.pairWeights[pairWeightsAt(static_cast<int>(g), static_cast<int>(p), static_cast<int>(pairs)) + j] = w0 | (w1 << 16);
                total += w0 + w1;
            }
            columns.rounding[c] = static_cast<int32_t>(32768 + 32768 * total);
        }
    }
    // The sixteen-pixel tables: the pair of words each pixel takes from the group's first start, for the first
    // tap pair (the next pairs lie two words on).
    const size_t wideGroups = first.size() / 16;
    columns.wide.assign(wideGroups, 0);
    columns.wideIndex.assign(wideGroups * 32, 0);
    for (size_t g = 0; g < wideGroups; ++g) {
        bool fits = true;
        for (size_t j = 0; j < 16; ++j) {
            const int spread = columns.first[16 * g + j] - columns.first[16 * g];
            fits = fits && spread >= 0 && spread + 2 * static_cast<int>(pairs) <= 32;
            const int word = std::clamp(spread, 0, 30);
            columns.wideIndex[32 * g + 2 * j] = static_cast<uint16_t>(word);
            columns.wideIndex[32 * g + 2 * j + 1] = static_cast<uint16_t>(word + 1);
        }
        columns.wide[g] = fits ? 1 : 0;
    }
    return columns;
}

void AreaPasses::mixPlaneColumns(const uint16_t* sums, const PlaneColumns& columns, uint8_t* out, bool wide)
{
    if (wide && WideVectors::hasAvx512()) {
        mixPlaneColumnsAvx512(sums, columns, out);
        return;
    }
    if (wide && wideAvailable()) {
        mixPlaneColumnsAvx2(sums, columns, out);
        return;
    }
    for (int c = 0; c < columns.count; ++c)
        out[c] = planePixel(sums, columns, c);
}

bool AreaPasses::wideAvailable()
{
    return WideVectors::hasAvx2();
}
