// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/PlanarCompositing.h"

#include "platform/image/ImageCompositing.h"
#include "platform/system/WideVectors.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <immintrin.h>

namespace {

// BT.709, limited range, on 0…255 components: the encoders' conversion. Offsets apply per unit of alpha.
constexpr float kr = 0.2126f, kb = 0.0722f, kg = 1 - kr - kb;
constexpr float ys = 219.0f / 255, cs = 224.0f / 255;
constexpr float yR = ys * kr, yG = ys * kg, yB = ys * kb, yA = 16.0f / 255;
constexpr float uR = -cs * kr / (2 * (1 - kb)), uG = -cs * kg / (2 * (1 - kb)), uB = cs * 0.5f, cA = 128.0f / 255;
constexpr float vR = cs * 0.5f, vG = -cs * kg / (2 * (1 - kr)), vB = -cs * kb / (2 * (1 - kr));

inline uint8_t toByte(float v) { return static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

// One plane's blend of a premultiplied value `p` (already carrying its offset) with alpha `a` (0…1).
inline uint8_t blended(uint8_t under, float p, float a) { return toByte(p + under * (1 - a)); }

// A component faded the way BGRA compositing fades it: times k/255, rounded.
inline uint32_t fade(uint32_t v, uint32_t k)
{
    const uint32_t x = v * k + 128;
    return (x + (x >> 8)) >> 8;
}

// A component faded by k/255, or as it is for k = 255 (where the fade changes nothing).
template <bool Faded>
inline float faded(uint8_t v, uint32_t k)
{
    return static_cast<float>(Faded ? fade(v, k) : v);
}

// Eight premultiplied pixels (32 bytes) faded by k/255 as `fade` does, on 16-bit lanes (v·k + 128 stays below 2^16).
__attribute__((target("avx2"))) inline __m256i fadedPixels(__m256i pixels, __m256i k)
{
    const __m256i zero = _mm256_setzero_si256(), half = _mm256_set1_epi16(128);
    const auto faded = [&](__m256i words) __attribute__((target("avx2"))) {
        const __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(words, k), half);
        return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
    };
    return _mm256_packus_epi16(faded(_mm256_unpacklo_epi8(pixels, zero)), faded(_mm256_unpackhi_epi8(pixels, zero)));
}

// One component of eight pixels: `shift` 0 blue, 8 green, 16 red, 24 alpha.
__attribute__((target("avx2"))) inline __m256i channel(__m256i pixels, int shift)
{
    return _mm256_and_si256(_mm256_srl_epi32(pixels, _mm_cvtsi32_si128(shift)), _mm256_set1_epi32(0xff));
}

__attribute__((target("avx2"))) inline __m256 component(__m256i pixels, int shift)
{
    return _mm256_cvtepi32_ps(channel(pixels, shift));
}

// Eight floats (already clamped to 0…255) truncated to bytes, stored at `to`.
__attribute__((target("avx2"))) inline void storeEight(uint8_t* to, __m256 values)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(_mm256_cvttps_epi32(values), zero), zero);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1)));
}

__attribute__((target("avx2"))) inline __m256 clamped(__m256 v)
{
    return _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
}

// overLumaRow eight pixels at a time: the plain loop's operations in its order (no fused multiply-add), so the
// same bytes. Returns how many pixels it did.
template <bool Faded>
__attribute__((target("avx2"))) int overLumaRowAvx2(uint8_t* d, const uint8_t* s, int count, uint32_t k)
{
    const __m256i fade16 = _mm256_set1_epi16(static_cast<int16_t>(k));
    const __m256 one = _mm256_set1_ps(1.0f), inverse = _mm256_set1_ps(1.0f / 255), half = _mm256_set1_ps(0.5f);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
        if (Faded)
            pixels = fadedPixels(pixels, fade16);
        const __m256 A = component(pixels, 24);
        __m256 value = _mm256_mul_ps(_mm256_set1_ps(yA), A);
        value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_set1_ps(yR), component(pixels, 16)));
        value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_set1_ps(yG), component(pixels, 8)));
        value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_set1_ps(yB), component(pixels, 0)));
        const __m256 under = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(d + i))));
        value = _mm256_add_ps(value, _mm256_mul_ps(under, _mm256_sub_ps(one, _mm256_mul_ps(A, inverse))));
        storeEight(d + i, clamped(_mm256_add_ps(value, half)));
    }
    return i;
}

// overChromaRow eight samples (sixteen pixels of each row) at a time, likewise the same bytes. The block sums
// are whole numbers, exact in any order.
template <bool Faded>
__attribute__((target("avx2"))) int overChromaRowAvx2(uint8_t* u, uint8_t* v, const uint8_t* top, const uint8_t* bottom, int count, uint32_t k)
{
    const __m256i fade16 = _mm256_set1_epi16(static_cast<int16_t>(k));
    const __m256i inOrder = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    const __m256 one = _mm256_set1_ps(1.0f), inverse = _mm256_set1_ps(1.0f / 255), half = _mm256_set1_ps(0.5f), quarter = _mm256_set1_ps(0.25f);
    const auto load = [&](const uint8_t* at) __attribute__((target("avx2"))) {
        const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        return Faded ? fadedPixels(pixels, fade16) : pixels;
    };
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i t0 = load(top + 8 * i), t1 = load(top + 8 * i + 32);
        const __m256i b0 = load(bottom + 8 * i), b1 = load(bottom + 8 * i + 32);
        // Pixels 0–7 and 8–15 summed down the block's rows, then in pairs along them; hadd leaves the samples
        // in the order 0 1 4 5 | 2 3 6 7.
        const auto block = [&](int shift) __attribute__((target("avx2"))) {
            const __m256i first = _mm256_add_epi32(channel(t0, shift), channel(b0, shift));
            const __m256i second = _mm256_add_epi32(channel(t1, shift), channel(b1, shift));
            return _mm256_mul_ps(quarter, _mm256_cvtepi32_ps(_mm256_permutevar8x32_epi32(_mm256_hadd_epi32(first, second), inOrder)));
        };
        const __m256 B = block(0), G = block(8), R = block(16), A = block(24);
        const __m256 keep = _mm256_sub_ps(one, _mm256_mul_ps(A, inverse));
        const auto mixed = [&](float a, float r, float g, float b, const uint8_t* under) __attribute__((target("avx2"))) {
            __m256 value = _mm256_mul_ps(_mm256_set1_ps(a), A);
            value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_set1_ps(r), R));
            value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_set1_ps(g), G));
            value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_set1_ps(b), B));
            const __m256 was = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(under))));
            return clamped(_mm256_add_ps(_mm256_add_ps(value, _mm256_mul_ps(was, keep)), half));
        };
        const __m256 U = mixed(cA, uR, uG, uB, u + i), V = mixed(cA, vR, vG, vB, v + i);
        storeEight(u + i, U);
        storeEight(v + i, V);
    }
    return i;
}

// The same two rows sixteen pixels (or samples) at a time where the processor has AVX-512. GCC 12's AVX-512
// headers warn falsely that their own masks "may be used uninitialized".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define OLVENNAR_AVX512 __attribute__((target("avx512f,avx512bw")))

OLVENNAR_AVX512 inline __m512i fadedPixels(__m512i pixels, __m512i k)
{
    const __m512i zero = _mm512_setzero_si512(), half = _mm512_set1_epi16(128);
    const auto faded = [&](__m512i words) OLVENNAR_AVX512 {
        const __m512i x = _mm512_add_epi16(_mm512_mullo_epi16(words, k), half);
        return _mm512_srli_epi16(_mm512_add_epi16(x, _mm512_srli_epi16(x, 8)), 8);
    };
    return _mm512_packus_epi16(faded(_mm512_unpacklo_epi8(pixels, zero)), faded(_mm512_unpackhi_epi8(pixels, zero)));
}

OLVENNAR_AVX512 inline __m512i channel(__m512i pixels, unsigned shift)
{
    return _mm512_and_si512(_mm512_srli_epi32(pixels, shift), _mm512_set1_epi32(0xff));
}

OLVENNAR_AVX512 inline __m512 component(__m512i pixels, unsigned shift)
{
    return _mm512_cvtepi32_ps(channel(pixels, shift));
}

OLVENNAR_AVX512 inline __m512 clamped(__m512 v)
{
    return _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(255.0f));
}

OLVENNAR_AVX512 inline __m512 sixteenBytes(const uint8_t* at)
{
    return _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))));
}

OLVENNAR_AVX512 inline void storeSixteen(uint8_t* to, __m512 values)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(values)));
}

template <bool Faded>
OLVENNAR_AVX512 int overLumaRowAvx512(uint8_t* d, const uint8_t* s, int count, uint32_t k)
{
    const __m512i fade16 = _mm512_set1_epi16(static_cast<int16_t>(k));
    const __m512 one = _mm512_set1_ps(1.0f), inverse = _mm512_set1_ps(1.0f / 255), half = _mm512_set1_ps(0.5f);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m512i pixels = _mm512_loadu_si512(s + 4 * i);
        if (Faded)
            pixels = fadedPixels(pixels, fade16);
        const __m512 A = component(pixels, 24);
        __m512 value = _mm512_mul_ps(_mm512_set1_ps(yA), A);
        value = _mm512_add_ps(value, _mm512_mul_ps(_mm512_set1_ps(yR), component(pixels, 16)));
        value = _mm512_add_ps(value, _mm512_mul_ps(_mm512_set1_ps(yG), component(pixels, 8)));
        value = _mm512_add_ps(value, _mm512_mul_ps(_mm512_set1_ps(yB), component(pixels, 0)));
        value = _mm512_add_ps(value, _mm512_mul_ps(sixteenBytes(d + i), _mm512_sub_ps(one, _mm512_mul_ps(A, inverse))));
        storeSixteen(d + i, clamped(_mm512_add_ps(value, half)));
    }
    return i;
}

template <bool Faded>
OLVENNAR_AVX512 int overChromaRowAvx512(uint8_t* u, uint8_t* v, const uint8_t* top, const uint8_t* bottom, int count, uint32_t k)
{
    const __m512i fade16 = _mm512_set1_epi16(static_cast<int16_t>(k));
    const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odd = _mm512_add_epi32(even, _mm512_set1_epi32(1));
    const __m512 one = _mm512_set1_ps(1.0f), inverse = _mm512_set1_ps(1.0f / 255), half = _mm512_set1_ps(0.5f), quarter = _mm512_set1_ps(0.25f);
    const auto load = [&](const uint8_t* at) OLVENNAR_AVX512 {
        const __m512i pixels = _mm512_loadu_si512(at);
        return Faded ? fadedPixels(pixels, fade16) : pixels;
    };
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i t0 = load(top + 8 * i), t1 = load(top + 8 * i + 64);
        const __m512i b0 = load(bottom + 8 * i), b1 = load(bottom + 8 * i + 64);
        const auto block = [&](unsigned shift) OLVENNAR_AVX512 {
            const __m512i first = _mm512_add_epi32(channel(t0, shift), channel(b0, shift));
            const __m512i second = _mm512_add_epi32(channel(t1, shift), channel(b1, shift));
            const __m512i sums = _mm512_add_epi32(_mm512_permutex2var_epi32(first, even, second), _mm512_permutex2var_epi32(first, odd, second));
            return _mm512_mul_ps(quarter, _mm512_cvtepi32_ps(sums));
        };
        const __m512 B = block(0), G = block(8), R = block(16), A = block(24);
        const __m512 keep = _mm512_sub_ps(one, _mm512_mul_ps(A, inverse));
        const auto mixed = [&](float a, float r, float g, float b, const uint8_t* under) OLVENNAR_AVX512 {
            __m512 value = _mm512_mul_ps(_mm512_set1_ps(a), A);
            value = _mm512_add_ps(value, _mm512_mul_ps(_mm512_set1_ps(r), R));
            value = _mm512_add_ps(value, _mm512_mul_ps(_mm512_set1_ps(g), G));
            value = _mm512_add_ps(value, _mm512_mul_ps(_mm512_set1_ps(b), B));
            return clamped(_mm512_add_ps(_mm512_add_ps(value, _mm512_mul_ps(sixteenBytes(under), keep)), half));
        };
        const __m512 U = mixed(cA, uR, uG, uB, u + i), V = mixed(cA, vR, vG, vB, v + i);
        storeSixteen(u + i, U);
        storeSixteen(v + i, V);
    }
    return i;
}

#undef OLVENNAR_AVX512
#pragma GCC diagnostic pop

// A row of pixels over a luma row.
template <bool Faded>
OLVENNAR_WIDE_VECTORS void overLumaRowPlain(uint8_t* __restrict d, const uint8_t* __restrict s, int count, uint32_t k)
{
    for (int i = 0; i < count; ++i) {
        const float B = faded<Faded>(s[4 * i], k), G = faded<Faded>(s[4 * i + 1], k);
        const float R = faded<Faded>(s[4 * i + 2], k), A = faded<Faded>(s[4 * i + 3], k);
        const float value = yA * A + yR * R + yG * G + yB * B + d[i] * (1 - A * (1.0f / 255)) + 0.5f;
        d[i] = static_cast<uint8_t>(std::clamp(value, 0.0f, 255.0f));
    }
}

// Whole 2×2 blocks over a row of chroma samples: `top` and `bottom` are the blocks' two pixel rows.
template <bool Faded>
OLVENNAR_WIDE_VECTORS void overChromaRowPlain(uint8_t* __restrict u, uint8_t* __restrict v, const uint8_t* __restrict top,
    const uint8_t* __restrict bottom, int count, uint32_t k)
{
    for (int i = 0; i < count; ++i) {
        const uint8_t* a = top + 8 * i;
        const uint8_t* b = bottom + 8 * i;
        const auto block = [&](int c) {
            return 0.25f * (faded<Faded>(a[c], k) + faded<Faded>(a[c + 4], k) + faded<Faded>(b[c], k) + faded<Faded>(b[c + 4], k));
        };
        const float B = block(0), G = block(1), R = block(2), A = block(3);
        const float keep = 1 - A * (1.0f / 255);
        u[i] = static_cast<uint8_t>(std::clamp(cA * A + uR * R + uG * G + uB * B + u[i] * keep + 0.5f, 0.0f, 255.0f));
        v[i] = static_cast<uint8_t>(std::clamp(cA * A + vR * R + vG * G + vB * B + v[i] * keep + 0.5f, 0.0f, 255.0f));
    }
}

template <bool Faded>
void overLumaRow(uint8_t* d, const uint8_t* s, int count, uint32_t k)
{
    int done = WideVectors::hasAvx512() ? overLumaRowAvx512<Faded>(d, s, count, k) : 0;
    if (WideVectors::hasAvx2())
        done += overLumaRowAvx2<Faded>(d + done, s + 4 * done, count - done, k);
    overLumaRowPlain<Faded>(d + done, s + 4 * done, count - done, k);
}

template <bool Faded>
void overChromaRow(uint8_t* u, uint8_t* v, const uint8_t* top, const uint8_t* bottom, int count, uint32_t k)
{
    int done = WideVectors::hasAvx512() ? overChromaRowAvx512<Faded>(u, v, top, bottom, count, k) : 0;
    if (WideVectors::hasAvx2())
        done += overChromaRowAvx2<Faded>(u + done, v + done, top + 8 * done, bottom + 8 * done, count - done, k);
    overChromaRowPlain<Faded>(u + done, v + done, top + 8 * done, bottom + 8 * done, count - done, k);
}

// The piece over the canvas, each pixel's premultiplied components weighed by weight(x, y) (canvas pixels)
// and faded by `alpha` the way BGRA compositing fades them, so both ways round alike. `Uniform`: the weight
// is 1 everywhere, and whole rows and blocks take the vector loops.
template <bool Uniform, typename Weight>
void blendPiece(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, double alpha, const Weight& weight)
{
    if (canvas.isEmpty() || piece.empty() || piece.type() != CV_8UC4 || !(alpha > 0))
        return;
    const uint32_t k = static_cast<uint32_t>(std::lround(std::min(alpha, 1.0) * 255));
    const QRect clip = QRect(at.x(), at.y(), piece.cols, piece.rows).intersected(canvas.rect());
    if (clip.isEmpty() || k == 0)
        return;
    const auto source = [&](int x, int y) { return piece.ptr<uint8_t>(y - at.y()) + 4 * (x - at.x()); };
    // Luma, pixel by pixel.
    ImageCompositing::forRows(clip.height(), clip.width(), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            const int y = clip.top() + r;
            uint8_t* d = canvas.data[0] + static_cast<ptrdiff_t>(y) * canvas.stride[0];
            if (Uniform) {
                if (k == 255)
                    overLumaRow<false>(d + clip.left(), source(clip.left(), y), clip.width(), k);
                else
                    overLumaRow<true>(d + clip.left(), source(clip.left(), y), clip.width(), k);
                continue;
            }
            for (int x = clip.left(); x <= clip.right(); ++x) {
                const uint8_t* p = source(x, y);
                const float f = weight(x, y);
                const float A = static_cast<float>(fade(p[3], k));
                const float Y = yA * A + yR * static_cast<float>(fade(p[2], k)) + yG * static_cast<float>(fade(p[1], k)) + yB * static_cast<float>(fade(p[0], k));
                d[x] = blended(d[x], f * Y, f * A * (1.0f / 255));
            }
        }
    });
    // Chroma: a sample takes the average over its block's pixels on the canvas (four, or fewer in the last
    // column or row of an odd size); pixels of the block outside the piece count as clear.
    const auto sample = [&](int cx, int cy) {
        float A = 0, R = 0, G = 0, B = 0;
        for (int y = std::max(2 * cy, clip.top()); y <= std::min(2 * cy + 1, clip.bottom()); ++y) {
            for (int x = std::max(2 * cx, clip.left()); x <= std::min(2 * cx + 1, clip.right()); ++x) {
                const uint8_t* p = source(x, y);
                const float f = weight(x, y);
                A += f * static_cast<float>(fade(p[3], k));
                R += f * static_cast<float>(fade(p[2], k));
                G += f * static_cast<float>(fade(p[1], k));
                B += f * static_cast<float>(fade(p[0], k));
            }
        }
        const int pixels = (std::min(2 * cy + 1, canvas.height - 1) - 2 * cy + 1) * (std::min(2 * cx + 1, canvas.width - 1) - 2 * cx + 1);
        const float share = 1.0f / static_cast<float>(pixels);
        A *= share, R *= share, G *= share, B *= share;
        uint8_t& u = canvas.data[1][static_cast<ptrdiff_t>(cy) * canvas.stride[1] + cx];
        uint8_t& v = canvas.data[2][static_cast<ptrdiff_t>(cy) * canvas.stride[2] + cx];
        u = blended(u, cA * A + uR * R + uG * G + uB * B, A * (1.0f / 255));
        v = blended(v, cA * A + vR * R + vG * G + vB * B, A * (1.0f / 255));
    };
    const QRect blocks = PlanarCompositing::chromaTouched(clip);
    // The samples whose whole block lies in the piece's columns.
    const int whole0 = (clip.left() + 1) >> 1, whole1 = ((clip.right() + 1) >> 1) - 1;
    ImageCompositing::forRows(blocks.height(), clip.width(), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            const int cy = blocks.top() + r;
            const bool wholeRows = 2 * cy >= clip.top() && 2 * cy + 1 <= clip.bottom();
            if (!Uniform || !wholeRows || whole1 < whole0) {
                for (int cx = blocks.left(); cx <= blocks.right(); ++cx)
                    sample(cx, cy);
                continue;
            }
            for (int cx = blocks.left(); cx < whole0; ++cx)
                sample(cx, cy);
            uint8_t* u = canvas.data[1] + static_cast<ptrdiff_t>(cy) * canvas.stride[1] + whole0;
            uint8_t* v = canvas.data[2] + static_cast<ptrdiff_t>(cy) * canvas.stride[2] + whole0;
            if (k == 255)
                overChromaRow<false>(u, v, source(2 * whole0, 2 * cy), source(2 * whole0, 2 * cy + 1), whole1 - whole0 + 1, k);
            else
                overChromaRow<true>(u, v, source(2 * whole0, 2 * cy), source(2 * whole0, 2 * cy + 1), whole1 - whole0 + 1, k);
            for (int cx = whole1 + 1; cx <= blocks.right(); ++cx)
                sample(cx, cy);
        }
    });
}

// d = s·a + d·(1 − a), rounded, for a row of one plane.
OLVENNAR_WIDE_VECTORS void mixRow(uint8_t* __restrict d, const uint8_t* __restrict s, const float* __restrict a, int count)
{
    for (int i = 0; i < count; ++i)
        d[i] = static_cast<uint8_t>(static_cast<float>(s[i]) * a[i] + static_cast<float>(d[i]) * (1 - a[i]) + 0.5f);
}

// The average coverage of each block of two coverage rows (`bottom` null: the piece has one row of the block)
// over the block's pixels on the canvas: `rowsInBlock` rows, two columns but `lastColumns` in the last block.
void blockCoverage(const float* top, const float* bottom, int columns, int blocks, int rowsInBlock, int lastColumns, float* out)
{
    for (int i = 0; i < blocks; ++i) {
        const int x = 2 * i;
        const bool pair = x + 1 < columns;
        float sum = top[x] + (pair ? top[x + 1] : 0);
        if (bottom)
            sum += bottom[x] + (pair ? bottom[x + 1] : 0);
        out[i] = sum / static_cast<float>(rowsInBlock * (i == blocks - 1 ? lastColumns : 2));
    }
}

// Chroma's prepared values are kept in 1/128 of a level and what is kept of the canvas in 1/32768: half the bytes of
// floats to read per sample, within a hundredth of a level of them.
constexpr float valueUnit = 128, keepUnit = 32768;

// d = value + d · keep, rounded, as the `over` loops compute it (in fixed point).
OLVENNAR_WIDE_VECTORS void overPreparedRow(uint8_t* __restrict d, const uint16_t* __restrict value, const uint16_t* __restrict keep, int count)
{
    for (int i = 0; i < count; ++i) {
        const uint32_t v = (static_cast<uint32_t>(value[i]) * 256u + static_cast<uint32_t>(d[i]) * keep[i] + 16384u) >> 15;
        d[i] = static_cast<uint8_t>(v < 255u ? v : 255u);
    }
}

// d = value + d · (255 − alpha) / 255, each part rounded: 16-bit products only.
OLVENNAR_WIDE_VECTORS void overPreparedLumaRow(uint8_t* __restrict d, const uint8_t* __restrict value, const uint8_t* __restrict alpha, int count)
{
    for (int i = 0; i < count; ++i) {
        const uint16_t t = static_cast<uint16_t>(d[i] * (255 - alpha[i]) + 128);
        const uint16_t kept = static_cast<uint16_t>((t + (t >> 8)) >> 8);
        const uint16_t v = static_cast<uint16_t>(value[i] + kept);
        d[i] = static_cast<uint8_t>(v < 255 ? v : 255);
    }
}

uint16_t fixedValue(float value) { return static_cast<uint16_t>(std::lround(std::clamp(value, 0.0f, 255.0f) * valueUnit)); }
uint16_t fixedKeep(float keep) { return static_cast<uint16_t>(std::lround(std::clamp(keep, 0.0f, 1.0f) * keepUnit)); }

} // namespace

PlanarCompositing::PreparedPiece PlanarCompositing::prepare(const cv::Mat& piece, QPoint at)
{
    PreparedPiece prepared;
    if (piece.empty() || piece.type() != CV_8UC4)
        return prepared;
    const QRect own(at, QSize(piece.cols, piece.rows));
    const int x0 = own.left() & ~1, y0 = own.top() & ~1;
    prepared.rect = QRect(QPoint(x0, y0), QPoint(own.right() | 1, own.bottom() | 1));
    const int w = prepared.rect.width(), h = prepared.rect.height();
    prepared.value[0].create(h, w, CV_8U);
    prepared.keep[0].create(h, w, CV_8U);
    for (int i : {1, 2})
        prepared.value[i].create(h / 2, w / 2, CV_16U);
    prepared.keep[1].create(h / 2, w / 2, CV_16U);
    const auto pixel = [&](int x, int y) -> const uint8_t* {
        static const uint8_t clear[4] = {0, 0, 0, 0};
        return own.contains(x, y) ? piece.ptr<uint8_t>(y - at.y()) + 4 * (x - at.x()) : clear;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = pixel(x0 + x, y0 + y);
            const float B = p[0], G = p[1], R = p[2], A = p[3];
            prepared.value[0].at<uint8_t>(y, x) = static_cast<uint8_t>(std::lround(std::clamp(yA * A + yR * R + yG * G + yB * B, 0.0f, 255.0f)));
            prepared.keep[0].at<uint8_t>(y, x) = p[3];
        }
    }
    for (int cy = 0; cy < h / 2; ++cy) {
        for (int cx = 0; cx < w / 2; ++cx) {
            const uint8_t* a = pixel(x0 + 2 * cx, y0 + 2 * cy);
            const uint8_t* b = pixel(x0 + 2 * cx + 1, y0 + 2 * cy);
            const uint8_t* c = pixel(x0 + 2 * cx, y0 + 2 * cy + 1);
            const uint8_t* d = pixel(x0 + 2 * cx + 1, y0 + 2 * cy + 1);
            const auto block = [&](int k) { return 0.25f * static_cast<float>(a[k] + b[k] + c[k] + d[k]); };
            const float B = block(0), G = block(1), R = block(2), A = block(3);
            prepared.value[1].at<uint16_t>(cy, cx) = fixedValue(cA * A + uR * R + uG * G + uB * B);
            prepared.value[2].at<uint16_t>(cy, cx) = fixedValue(cA * A + vR * R + vG * G + vB * B);
            prepared.keep[1].at<uint16_t>(cy, cx) = fixedKeep(1 - A * (1.0f / 255));
        }
    }
    return prepared;
}

void PlanarCompositing::over(const PlanarCanvas& canvas, const PreparedPiece& piece, const QRect& area)
{
    const QRect clip = area.intersected(piece.rect).intersected(canvas.rect());
    if (clip.isEmpty() || canvas.isEmpty())
        return;
    // Only whole blocks (see the header).
    if ((clip.left() & 1) || (clip.top() & 1) || (clip.width() & 1) || (clip.height() & 1))
        return;
    const int px = clip.left() - piece.rect.left(), py = clip.top() - piece.rect.top();
    ImageCompositing::forRows(clip.height() / 2, clip.width(), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            for (int k = 0; k < 2; ++k) {
                const int y = clip.top() + 2 * r + k;
                overPreparedLumaRow(canvas.data[0] + static_cast<ptrdiff_t>(y) * canvas.stride[0] + clip.left(),
                    piece.value[0].ptr<uint8_t>(py + 2 * r + k) + px, piece.keep[0].ptr<uint8_t>(py + 2 * r + k) + px, clip.width());
            }
            const int cy = clip.top() / 2 + r;
            for (int i : {1, 2}) {
                overPreparedRow(canvas.data[i] + static_cast<ptrdiff_t>(cy) * canvas.stride[i] + clip.left() / 2,
                    piece.value[i].ptr<uint16_t>(py / 2 + r) + px / 2, piece.keep[1].ptr<uint16_t>(py / 2 + r) + px / 2, clip.width() / 2);
            }
        }
    });
}

void PlanarCompositing::mixOpaque(const PlanarCanvas& canvas, const PlanarView& piece, QPoint at, const RowCoverage& coverage)
{
    if (canvas.isEmpty() || piece.isEmpty() || (at.x() & 1) || (at.y() & 1))
        return;
    const QRect clip = QRect(at, QSize(piece.width, piece.height)).intersected(canvas.rect());
    if (clip.isEmpty())
        return;
    const int columns = clip.width();
    const int blocks = (columns + 1) / 2;
    const int sx = clip.left() - at.x(); // even
    ImageCompositing::forRows((clip.height() + 1) / 2, columns, [&](int r0, int r1) {
        std::vector<float> rows(static_cast<size_t>(3 * columns + blocks) + 2);
        float* cover[2] = {rows.data(), rows.data() + columns};
        float* chroma = rows.data() + 2 * columns;
        for (int r = r0; r < r1; ++r) {
            const int cy = clip.top() / 2 + r;
            int lumaRows = 0;
            for (int k = 0; k < 2; ++k) {
                const int y = 2 * cy + k;
                if (y > clip.bottom())
                    break;
                ++lumaRows;
                const uint8_t* s = piece.data[0] + static_cast<ptrdiff_t>(y - at.y()) * piece.stride[0] + sx;
                uint8_t* d = canvas.data[0] + static_cast<ptrdiff_t>(y) * canvas.stride[0] + clip.left();
                if (!coverage) {
                    std::copy(s, s + columns, d);
                    continue;
                }
                coverage(y, clip.left(), columns, cover[k]);
                mixRow(d, s, cover[k], columns);
            }
            const ptrdiff_t sourceRow = static_cast<ptrdiff_t>(cy - at.y() / 2);
            for (int p = 1; p < 3; ++p) {
                const uint8_t* s = piece.data[p] + sourceRow * piece.stride[p] + sx / 2;
                uint8_t* d = canvas.data[p] + static_cast<ptrdiff_t>(cy) * canvas.stride[p] + clip.left() / 2;
                if (!coverage) {
                    std::copy(s, s + blocks, d);
                    continue;
                }
                if (p == 1) {
                    // A block on the canvas's last odd row or column holds fewer pixels.
                    const int rowsInBlock = std::min(2 * cy + 1, canvas.height - 1) - 2 * cy + 1;
                    const int lastX = clip.left() + 2 * (blocks - 1);
                    const int lastColumns = std::min(lastX + 1, canvas.width - 1) - lastX + 1;
                    blockCoverage(cover[0], lumaRows > 1 ? cover[1] : nullptr, columns, blocks, rowsInBlock, lastColumns, chroma);
                }
                mixRow(d, s, chroma, blocks);
            }
        }
    });
}

void PlanarCompositing::over(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, double alpha)
{
    blendPiece<true>(canvas, piece, at, alpha, [](int, int) { return 1.0f; });
}

void PlanarCompositing::overMasked(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, const RoundedRectShape& mask)
{
    if (mask.isEmpty())
        return;
    blendPiece<false>(canvas, piece, at, 1.0, [&mask](int x, int y) { return mask.coverage(x + 0.5, y + 0.5); });
}

PlanarImage PlanarCompositing::fromBgra(const cv::Mat& picture)
{
    PlanarImage image(picture.cols, picture.rows);
    if (image.isEmpty())
        return image;
    for (cv::Mat& plane : image.planes)
        plane.setTo(0);
    over(image.canvas(), picture, {});
    return image;
}

void PlanarCompositing::fill(const PlanarCanvas& canvas, const QRect& area, uint8_t red, uint8_t green, uint8_t blue)
{
    const QRect clip = area.intersected(canvas.rect());
    if (clip.isEmpty() || canvas.isEmpty())
        return;
    const float R = red, G = green, B = blue;
    const uint8_t Y = toByte(16 + yR * R + yG * G + yB * B);
    const uint8_t U = toByte(128 + uR * R + uG * G + uB * B);
    const uint8_t V = toByte(128 + vR * R + vG * G + vB * B);
    cv::Mat luma = canvas.plane(0);
    luma(cv::Rect(clip.x(), clip.y(), clip.width(), clip.height())).setTo(Y);
    // Blocks only partly inside take the colour in proportion to their pixels on the canvas.
    const QRect blocks = chromaTouched(clip);
    for (int cy = blocks.top(); cy <= blocks.bottom(); ++cy) {
        const int rows = std::min(2 * cy + 1, clip.bottom()) - std::max(2 * cy, clip.top()) + 1;
        const int blockRows = std::min(2 * cy + 1, canvas.height - 1) - 2 * cy + 1;
        uint8_t* u = canvas.data[1] + static_cast<ptrdiff_t>(cy) * canvas.stride[1];
        uint8_t* v = canvas.data[2] + static_cast<ptrdiff_t>(cy) * canvas.stride[2];
        for (int cx = blocks.left(); cx <= blocks.right(); ++cx) {
            const int cols = std::min(2 * cx + 1, clip.right()) - std::max(2 * cx, clip.left()) + 1;
            const int blockCols = std::min(2 * cx + 1, canvas.width - 1) - 2 * cx + 1;
            const float share = static_cast<float>(rows * cols) / static_cast<float>(blockRows * blockCols);
            u[cx] = toByte(U * share + u[cx] * (1 - share));
            v[cx] = toByte(V * share + v[cx] * (1 - share));
        }
    }
}

QRect PlanarCompositing::chromaInside(const QRect& area)
{
    if (area.isEmpty())
        return {};
    const int x0 = (area.left() + 1) >> 1, y0 = (area.top() + 1) >> 1;
    const int x1 = ((area.right() + 1) >> 1) - 1, y1 = ((area.bottom() + 1) >> 1) - 1;
    return x1 < x0 || y1 < y0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
}

QRect PlanarCompositing::chromaTouched(const QRect& area)
{
    if (area.isEmpty())
        return {};
    return QRect(QPoint(area.left() >> 1, area.top() >> 1), QPoint(area.right() >> 1, area.bottom() >> 1));
}

QTransform PlanarCompositing::chromaMap(const QTransform& lumaMap)
{
    return QTransform::fromScale(2, 2) * lumaMap * QTransform::fromScale(0.5, 0.5);
}

PlanarView PlanarCompositing::part(const PlanarView& planes, const QRect& rect)
{
    PlanarView view = planes;
    view.data[0] = planes.data[0] + static_cast<ptrdiff_t>(rect.y()) * planes.stride[0] + rect.x();
    for (int i : {1, 2})
        view.data[i] = planes.data[i] + static_cast<ptrdiff_t>(rect.y() / 2) * planes.stride[i] + rect.x() / 2;
    view.width = rect.width();
    view.height = rect.height();
    return view;
}
