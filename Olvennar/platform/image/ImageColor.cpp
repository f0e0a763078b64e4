// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/ImageColor.h"

#include "platform/image/ImageCompositing.h"
#include "platform/system/WideVectors.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

double toLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double toEncoded(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

// Per-channel gains in linear light, as one table lookup (alpha passes through).
void applyLinearGains(cv::Mat& image, const std::array<double, 3>& bgrGain)
{
    cv::Mat table(1, 256, CV_8UC4);
    for (int v = 0; v < 256; ++v) {
        cv::Vec4b& entry = table.at<cv::Vec4b>(0, v);
        for (int c = 0; c < 3; ++c) {
            const double out = toEncoded(std::clamp(toLinear(v / 255.0) * bgrGain[static_cast<size_t>(c)], 0.0, 1.0));
            entry[c] = cv::saturate_cast<uint8_t>(out * 255.0);
        }
        entry[3] = static_cast<uint8_t>(v);
    }
    cv::LUT(image, table, image);
}


constexpr double lumaR = 0.2126, lumaG = 0.7152, lumaB = 0.0722;

// The grade's fixed-point steps eight pixels at a time, the same integer operations as the plain loop, so
// the same bytes. Returns how many pixels of the row it did (a multiple of eight).
__attribute__((target("avx2"))) int gradeRowAvx2(uint8_t* row, int count, const std::array<std::array<int32_t, 256>, 3>& gains, int s,
    int contrast, int shift)
{
    const __m256i low = _mm256_set1_epi32(0xff);
    const __m256i saturation = _mm256_set1_epi32(s);
    const __m256i contrastGain = _mm256_set1_epi32(contrast);
    const __m256i offset = _mm256_set1_epi32(shift);
    const __m256i middle = _mm256_set1_epi32(128);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(255);
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        __m256i* at = reinterpret_cast<__m256i*>(row + 4 * x);
        const __m256i pixels = _mm256_loadu_si256(at);
        const __m256i alpha = _mm256_srli_epi32(pixels, 24);
        const __m256i b = _mm256_i32gather_epi32(gains[0].data(), _mm256_and_si256(pixels, low), 4);
        const __m256i g = _mm256_i32gather_epi32(gains[1].data(), _mm256_and_si256(_mm256_srli_epi32(pixels, 8), low), 4);
        const __m256i r = _mm256_i32gather_epi32(gains[2].data(), _mm256_and_si256(_mm256_srli_epi32(pixels, 16), low), 4);
        const __m256i luma = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(b, _mm256_set1_epi32(18)),
                                                                    _mm256_mullo_epi32(g, _mm256_set1_epi32(183))),
                                                    _mm256_mullo_epi32(r, _mm256_set1_epi32(55))),
            8);
        const auto out = [&](__m256i c) __attribute__((target("avx2"))) {
            const __m256i saturated = _mm256_add_epi32(luma, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(c, luma), saturation), 8));
            const __m256i v = _mm256_add_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(_mm256_add_epi32(saturated, offset), contrastGain), 16), middle);
            return _mm256_min_epi32(_mm256_min_epi32(_mm256_max_epi32(v, zero), top), alpha);
        };
        const __m256i graded = _mm256_or_si256(_mm256_or_si256(out(b), _mm256_slli_epi32(out(g), 8)),
            _mm256_or_si256(_mm256_slli_epi32(out(r), 16), _mm256_slli_epi32(alpha, 24)));
        _mm256_storeu_si256(at, graded);
    }
    return x;
}

} // namespace

cv::Vec3d ImageColor::whitePoint(double kelvin)
{
    // Black-body colour fit (1000 K … 40000 K), in encoded 0…255, then made linear.
    const double t = std::clamp(kelvin, 1000.0, 40000.0) / 100.0;
    double r, g, b;
    if (t <= 66) {
        r = 255;
        g = 99.4708025861 * std::log(t) - 161.1195681661;
        b = t <= 19 ? 0 : 138.5177312231 * std::log(t - 10) - 305.0447927307;
    } else {
        r = 329.698727446 * std::pow(t - 60, -0.1332047592);
        g = 288.1221695283 * std::pow(t - 60, -0.0755148492);
        b = 255;
    }
    const auto lin = [](double v) { return toLinear(std::clamp(v, 1.0, 255.0) / 255.0); };
    const double green = lin(g);
    return {lin(r) / green, 1.0, lin(b) / green};
}

void ImageColor::exposure(cv::Mat& image, double ev)
{
    const double gain = std::exp2(ev);
    applyLinearGains(image, {gain, gain, gain});
    ImageCompositing::keepColourWithinAlpha(image);
}

namespace {

std::array<double, 3> whiteBalanceGains(QPointF neutral, QPointF targetNeutral)
{
    const cv::Vec3d from = ImageColor::whitePoint(neutral.x());
    const cv::Vec3d to = ImageColor::whitePoint(targetNeutral.x());
    // Tint moves green against magenta; a step of 100 is about a tenth.
    const double tint = 1.0 + (neutral.y() - targetNeutral.y()) / 1000.0;
    double r = to[0] / from[0], g = std::max(tint, 0.1), b = to[2] / from[2];
    const double luma = lumaR * r + lumaG * g + lumaB * b;
    return {b / luma, g / luma, r / luma};
}

} // namespace

namespace {

// The grade as integer steps: per channel, exposure and white balance in linear light as a table (0…255
// values scaled by 256); then saturation around luma, brightness and contrast in fixed point.
struct GradeSteps {
    std::array<std::array<int32_t, 256>, 3> gains; // blue, green, red
    int saturation = 256;
    int contrast = 256;
    int shift = -32640;

    explicit GradeSteps(const ImageColor::Grade& grade)
    {
        const std::array<double, 3> balance = whiteBalanceGains(grade.neutral, grade.targetNeutral);
        const double exposureGain = std::exp2(grade.ev);
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                gains[static_cast<size_t>(c)][static_cast<size_t>(v)] = static_cast<int32_t>(std::lround(
                    256 * 255 * toEncoded(std::clamp(toLinear(v / 255.0) * exposureGain * balance[static_cast<size_t>(c)], 0.0, 1.0))));
        saturation = static_cast<int>(std::lround(grade.saturation * 256));
        contrast = static_cast<int>(std::lround(grade.contrast * 256));
        shift = static_cast<int>(std::lround(grade.brightness * 255 * 256)) - 32640;
    }

    // One opaque pixel, components 0…255, in place.
    void apply(int& b, int& g, int& r) const
    {
        const int gb = gains[0][static_cast<size_t>(b)], gg = gains[1][static_cast<size_t>(g)], gr = gains[2][static_cast<size_t>(r)];
        const int luma = (18 * gb + 183 * gg + 55 * gr) >> 8;
        const auto out = [&](int c) { return std::clamp((((luma + (((c - luma) * saturation) >> 8) + shift) * contrast) >> 16) + 128, 0, 255); };
        b = out(gb);
        g = out(gg);
        r = out(gr);
    }
};

// BT.709 limited range, as the decoder's pictures and the encoder's planes hold it.
constexpr float lumaScale = 255.0f / 219, chromaScale = 255.0f / 224;
constexpr float redFromV = 2 * (1 - 0.2126f) * chromaScale, blueFromU = 2 * (1 - 0.0722f) * chromaScale;
constexpr float greenFromU = -2 * 0.0722f * (1 - 0.0722f) / 0.7152f * chromaScale, greenFromV = -2 * 0.2126f * (1 - 0.2126f) / 0.7152f * chromaScale;
constexpr float yR = 0.2126f * 219 / 255, yG = 0.7152f * 219 / 255, yB = 0.0722f * 219 / 255;
constexpr float uR = -0.2126f / (2 * (1 - 0.0722f)) * 224 / 255, uG = -0.7152f / (2 * (1 - 0.0722f)) * 224 / 255, uB = 0.5f * 224 / 255;
constexpr float vR = 0.5f * 224 / 255, vG = -0.7152f / (2 * (1 - 0.2126f)) * 224 / 255, vB = -0.0722f / (2 * (1 - 0.2126f)) * 224 / 255;

inline int rounded(float v) { return std::clamp(static_cast<int>(v + 256.5f) - 256, 0, 255); }

} // namespace

void ImageColor::applyGrade(cv::Mat& image, const Grade& grade)
{
    const GradeSteps steps(grade);
    const bool avx2 = WideVectors::hasAvx2();
    ImageCompositing::forRows(image.rows, image.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = image.ptr<uint8_t>(y);
            const int done = avx2 ? gradeRowAvx2(p, image.cols, steps.gains, steps.saturation, steps.contrast, steps.shift) : 0;
            p += 4 * done;
            for (int x = done; x < image.cols; ++x, p += 4) {
                int b = p[0], g = p[1], r = p[2];
                steps.apply(b, g, r);
                p[0] = static_cast<uint8_t>(std::min<int>(b, p[3]));
                p[1] = static_cast<uint8_t>(std::min<int>(g, p[3]));
                p[2] = static_cast<uint8_t>(std::min<int>(r, p[3]));
            }
        }
    });
}

namespace {

// One row of luma graded in place: each pixel made RGB from its luma and its block's chroma terms (spread to
// every pixel), graded, its luma written back and its graded components kept for the block's chroma.
struct GradedRow {
    int32_t* blue;
    int32_t* green;
    int32_t* red;
};

int gradedLuma(int b, int g, int r) { return static_cast<int>(std::clamp(16.0f + yR * r + yG * g + yB * b + 0.5f, 0.0f, 255.0f)); }

// Eight pixels at a time, the same operations as the plain loop in the same order, so the same bytes. The
// chroma terms come per sample, each spread over its two pixels. Returns how many pixels of the row it did (a
// multiple of eight).
__attribute__((target("avx2"))) int gradeLumaRowAvx2(uint8_t* luma, const float* red, const float* green, const float* blue, int count,
    const GradeSteps& steps, const GradedRow& out)
{
    const __m256i spread = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const auto terms = [&](const float* samples, int x) __attribute__((target("avx2"))) {
        return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_loadu_ps(samples + x / 2)), spread);
    };
    const __m256 lumaOffset = _mm256_set1_ps(16.0f), scale = _mm256_set1_ps(lumaScale), half = _mm256_set1_ps(0.5f);
    const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(255), middle = _mm256_set1_epi32(128);
    const __m256i saturation = _mm256_set1_epi32(steps.saturation), contrast = _mm256_set1_epi32(steps.contrast);
    const __m256i shift = _mm256_set1_epi32(steps.shift);
    const auto channel = [&](__m256 v) __attribute__((target("avx2"))) {
        const __m256i rounded = _mm256_cvttps_epi32(_mm256_floor_ps(_mm256_add_ps(v, half)));
        return _mm256_min_epi32(_mm256_max_epi32(rounded, zero), top);
    };
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m256i y = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma + x)));
        const __m256 l = _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(y), lumaOffset), scale);
        const __m256i b = _mm256_i32gather_epi32(steps.gains[0].data(), channel(_mm256_add_ps(l, terms(blue, x))), 4);
        const __m256i g = _mm256_i32gather_epi32(steps.gains[1].data(), channel(_mm256_add_ps(l, terms(green, x))), 4);
        const __m256i r = _mm256_i32gather_epi32(steps.gains[2].data(), channel(_mm256_add_ps(l, terms(red, x))), 4);
        const __m256i grey = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(b, _mm256_set1_epi32(18)),
                                                                   _mm256_mullo_epi32(g, _mm256_set1_epi32(183))),
                                                   _mm256_mullo_epi32(r, _mm256_set1_epi32(55))),
            8);
        const auto graded = [&](__m256i c) __attribute__((target("avx2"))) {
            const __m256i saturated = _mm256_add_epi32(grey, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(c, grey), saturation), 8));
            const __m256i v = _mm256_add_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(_mm256_add_epi32(saturated, shift), contrast), 16), middle);
            return _mm256_min_epi32(_mm256_max_epi32(v, zero), top);
        };
        const __m256i B = graded(b), G = graded(g), R = graded(r);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.blue + x), B);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.green + x), G);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.red + x), R);
        __m256 v = _mm256_add_ps(lumaOffset, _mm256_mul_ps(_mm256_set1_ps(yR), _mm256_cvtepi32_ps(R)));
        v = _mm256_add_ps(v, _mm256_mul_ps(_mm256_set1_ps(yG), _mm256_cvtepi32_ps(G)));
        v = _mm256_add_ps(v, _mm256_mul_ps(_mm256_set1_ps(yB), _mm256_cvtepi32_ps(B)));
        v = _mm256_min_ps(_mm256_max_ps(_mm256_add_ps(v, half), _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
        const __m256i words = _mm256_packus_epi32(_mm256_cvttps_epi32(v), zero);
        const __m256i bytes = _mm256_packus_epi16(words, zero);
        const __m128i eight = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(luma + x), eight);
    }
    return x;
}

// The same sixteen pixels at a time where the processor has AVX-512. GCC 12's AVX-512 headers warn falsely that
// their own masks "may be used uninitialized".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f"))) int gradeLumaRowAvx512(uint8_t* luma, const float* red, const float* green, const float* blue, int count,
    const GradeSteps& steps, const GradedRow& out)
{
    const __m512i spread = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    const auto terms = [&](const float* samples, int x) __attribute__((target("avx512f"))) {
        return _mm512_permutexvar_ps(spread, _mm512_castps256_ps512(_mm256_loadu_ps(samples + x / 2)));
    };
    const __m512 lumaOffset = _mm512_set1_ps(16.0f), scale = _mm512_set1_ps(lumaScale), half = _mm512_set1_ps(0.5f);
    const __m512i zero = _mm512_setzero_si512(), top = _mm512_set1_epi32(255), middle = _mm512_set1_epi32(128);
    const __m512i saturation = _mm512_set1_epi32(steps.saturation), contrast = _mm512_set1_epi32(steps.contrast);
    const __m512i shift = _mm512_set1_epi32(steps.shift);
    const auto channel = [&](__m512 v) __attribute__((target("avx512f"))) {
        const __m512i rounded = _mm512_cvttps_epi32(_mm512_floor_ps(_mm512_add_ps(v, half)));
        return _mm512_min_epi32(_mm512_max_epi32(rounded, zero), top);
    };
    int x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m512i y = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x)));
        const __m512 l = _mm512_mul_ps(_mm512_sub_ps(_mm512_cvtepi32_ps(y), lumaOffset), scale);
        const __m512i b = _mm512_i32gather_epi32(channel(_mm512_add_ps(l, terms(blue, x))), steps.gains[0].data(), 4);
        const __m512i g = _mm512_i32gather_epi32(channel(_mm512_add_ps(l, terms(green, x))), steps.gains[1].data(), 4);
        const __m512i r = _mm512_i32gather_epi32(channel(_mm512_add_ps(l, terms(red, x))), steps.gains[2].data(), 4);
        const __m512i grey = _mm512_srai_epi32(_mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(b, _mm512_set1_epi32(18)),
                                                                   _mm512_mullo_epi32(g, _mm512_set1_epi32(183))),
                                                   _mm512_mullo_epi32(r, _mm512_set1_epi32(55))),
            8);
        const auto graded = [&](__m512i c) __attribute__((target("avx512f"))) {
            const __m512i saturated = _mm512_add_epi32(grey, _mm512_srai_epi32(_mm512_mullo_epi32(_mm512_sub_epi32(c, grey), saturation), 8));
            const __m512i v = _mm512_add_epi32(_mm512_srai_epi32(_mm512_mullo_epi32(_mm512_add_epi32(saturated, shift), contrast), 16), middle);
            return _mm512_min_epi32(_mm512_max_epi32(v, zero), top);
        };
        const __m512i B = graded(b), G = graded(g), R = graded(r);
        _mm512_storeu_si512(out.blue + x, B);
        _mm512_storeu_si512(out.green + x, G);
        _mm512_storeu_si512(out.red + x, R);
        __m512 v = _mm512_add_ps(lumaOffset, _mm512_mul_ps(_mm512_set1_ps(yR), _mm512_cvtepi32_ps(R)));
        v = _mm512_add_ps(v, _mm512_mul_ps(_mm512_set1_ps(yG), _mm512_cvtepi32_ps(G)));
        v = _mm512_add_ps(v, _mm512_mul_ps(_mm512_set1_ps(yB), _mm512_cvtepi32_ps(B)));
        v = _mm512_min_ps(_mm512_max_ps(_mm512_add_ps(v, half), _mm512_setzero_ps()), _mm512_set1_ps(255.0f));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(v)));
    }
    return x;
}
#pragma GCC diagnostic pop

void gradeLumaRow(uint8_t* luma, const float* red, const float* green, const float* blue, int count, const GradeSteps& steps,
    const GradedRow& out)
{
    int done = WideVectors::hasAvx512() ? gradeLumaRowAvx512(luma, red, green, blue, count, steps, out) : 0;
    if (WideVectors::hasAvx2())
        done += gradeLumaRowAvx2(luma + done, red + done / 2, green + done / 2, blue + done / 2, count - done, steps,
            {out.blue + done, out.green + done, out.red + done});
    for (int x = done; x < count; ++x) {
        const float l = (luma[x] - 16.0f) * lumaScale;
        int b = rounded(l + blue[x >> 1]), g = rounded(l + green[x >> 1]), r = rounded(l + red[x >> 1]);
        steps.apply(b, g, r);
        luma[x] = static_cast<uint8_t>(gradedLuma(b, g, r));
        out.blue[x] = b;
        out.green[x] = g;
        out.red[x] = r;
    }
}

// The chroma terms of a row of samples, as a decoder's conversion reads them.
OLVENNAR_WIDE_VECTORS void chromaTerms(const uint8_t* __restrict u, const uint8_t* __restrict v, int count, float* __restrict red,
    float* __restrict green, float* __restrict blue)
{
    for (int i = 0; i < count; ++i) {
        const float cb = u[i] - 128.0f, cr = v[i] - 128.0f;
        red[i] = redFromV * cr;
        green[i] = greenFromU * cb + greenFromV * cr;
        blue[i] = blueFromU * cb;
    }
}

// A block's chroma from the average of its four graded pixels, for a row of whole blocks.
OLVENNAR_WIDE_VECTORS void wholeBlocksChroma(const GradedRow& top, const GradedRow& bottom, int count, uint8_t* __restrict u,
    uint8_t* __restrict v)
{
    for (int cx = 0; cx < count; ++cx) {
        const int x = 2 * cx;
        const float B = static_cast<float>(top.blue[x] + top.blue[x + 1] + bottom.blue[x] + bottom.blue[x + 1]) * 0.25f;
        const float G = static_cast<float>(top.green[x] + top.green[x + 1] + bottom.green[x] + bottom.green[x + 1]) * 0.25f;
        const float R = static_cast<float>(top.red[x] + top.red[x + 1] + bottom.red[x] + bottom.red[x + 1]) * 0.25f;
        u[cx] = static_cast<uint8_t>(std::clamp(128.0f + uR * R + uG * G + uB * B + 0.5f, 0.0f, 255.0f));
        v[cx] = static_cast<uint8_t>(std::clamp(128.0f + vR * R + vG * G + vB * B + 0.5f, 0.0f, 255.0f));
    }
}

} // namespace

void ImageColor::applyGrade(const PlanarCanvas& planes, const Grade& grade)
{
    if (planes.isEmpty())
        return;
    const GradeSteps steps(grade);
    const int width = planes.width;
    // Per 2×2 block: each pixel made RGB from its luma and the block's chroma (as a decoder's conversion reads
    // them), graded, its luma written back; the block's chroma from the average of its graded pixels.
    ImageCompositing::forRows(planes.chromaHeight(), width * 2, [&](int c0, int c1) {
        const size_t n = static_cast<size_t>(width) + 1;
        std::vector<float> terms(3 * n);
        float* red = terms.data();
        float* green = red + n;
        float* blue = green + n;
        std::vector<int32_t> graded(6 * n, 0);
        const GradedRow rows[2] = {{graded.data(), graded.data() + n, graded.data() + 2 * n},
            {graded.data() + 3 * n, graded.data() + 4 * n, graded.data() + 5 * n}};
        for (int cy = c0; cy < c1; ++cy) {
            uint8_t* u = planes.data[1] + static_cast<ptrdiff_t>(cy) * planes.stride[1];
            uint8_t* v = planes.data[2] + static_cast<ptrdiff_t>(cy) * planes.stride[2];
            chromaTerms(u, v, planes.chromaWidth(), red, green, blue);
            const int lumaRows = std::min(2, planes.height - 2 * cy);
            for (int k = 0; k < lumaRows; ++k)
                gradeLumaRow(planes.data[0] + static_cast<ptrdiff_t>(2 * cy + k) * planes.stride[0], red, green, blue, width, steps, rows[k]);
            const int whole = lumaRows == 2 ? width / 2 : 0;
            wholeBlocksChroma(rows[0], rows[1], whole, u, v);
            for (int cx = whole; cx < planes.chromaWidth(); ++cx) {
                const int columns = std::min(2, width - 2 * cx);
                int sumB = 0, sumG = 0, sumR = 0;
                for (int k = 0; k < lumaRows; ++k) {
                    for (int dx = 0; dx < columns; ++dx) {
                        sumB += rows[k].blue[2 * cx + dx];
                        sumG += rows[k].green[2 * cx + dx];
                        sumR += rows[k].red[2 * cx + dx];
                    }
                }
                const float share = 1.0f / static_cast<float>(lumaRows * columns);
                const float B = sumB * share, G = sumG * share, R = sumR * share;
                u[cx] = static_cast<uint8_t>(std::clamp(128.0f + uR * R + uG * G + uB * B + 0.5f, 0.0f, 255.0f));
                v[cx] = static_cast<uint8_t>(std::clamp(128.0f + vR * R + vG * G + vB * B + 0.5f, 0.0f, 255.0f));
            }
        }
    });
}

void ImageColor::temperatureAndTint(cv::Mat& image, QPointF neutral, QPointF targetNeutral)
{
    const cv::Vec3d from = whitePoint(neutral.x());
    const cv::Vec3d to = whitePoint(targetNeutral.x());
    // Tint moves green against magenta; a step of 100 is about a tenth.
    const double tint = 1.0 + (neutral.y() - targetNeutral.y()) / 1000.0;
    double r = to[0] / from[0], g = std::max(tint, 0.1), b = to[2] / from[2];
    const double luma = lumaR * r + lumaG * g + lumaB * b;
    r /= luma;
    g /= luma;
    b /= luma;
    applyLinearGains(image, {b, g, r});
    ImageCompositing::keepColourWithinAlpha(image);
}

void ImageColor::colorControls(cv::Mat& image, double contrast, double saturation, double brightness)
{
    if (std::abs(saturation - 1) > 1e-6) {
        // Each channel mixed with luma: out = luma + s × (c − luma).
        const double s = saturation;
        const double lb = lumaB * (1 - s), lg = lumaG * (1 - s), lr = lumaR * (1 - s);
        const cv::Matx44f mix(static_cast<float>(lb + s), static_cast<float>(lg), static_cast<float>(lr), 0,
            static_cast<float>(lb), static_cast<float>(lg + s), static_cast<float>(lr), 0,
            static_cast<float>(lb), static_cast<float>(lg), static_cast<float>(lr + s), 0,
            0, 0, 0, 1);
        cv::transform(image, image, mix);
    }
    if (std::abs(contrast - 1) > 1e-6 || std::abs(brightness) > 1e-6) {
        cv::Mat table(1, 256, CV_8UC4);
        for (int v = 0; v < 256; ++v) {
            cv::Vec4b& entry = table.at<cv::Vec4b>(0, v);
            const double out = ((v / 255.0 + brightness) - 0.5) * contrast + 0.5;
            entry[0] = entry[1] = entry[2] = cv::saturate_cast<uint8_t>(out * 255.0);
            entry[3] = static_cast<uint8_t>(v);
        }
        cv::LUT(image, table, image);
    }
    ImageCompositing::keepColourWithinAlpha(image);
}

void ImageColor::sharpenLuminance(cv::Mat& image, double sharpness, double radius)
{
    if (image.empty() || !(sharpness > 0) || !(radius > 0))
        return;
    cv::Mat blurred;
    cv::GaussianBlur(image, blurred, cv::Size(0, 0), radius, radius, cv::BORDER_REPLICATE);
    const int amount = static_cast<int>(std::lround(sharpness * 1024));
    ImageCompositing::forRows(image.rows, image.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = image.ptr<uint8_t>(y);
            const uint8_t* q = blurred.ptr<uint8_t>(y);
            for (int x = 0; x < image.cols; ++x, p += 4, q += 4) {
                // Luma difference in 1/256 steps (BGR weights ×256: 18, 183, 54).
                const int diff = (18 * (p[0] - q[0]) + 183 * (p[1] - q[1]) + 54 * (p[2] - q[2])) >> 8;
                const int add = (diff * amount) / 1024;
                if (add == 0)
                    continue;
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<uint8_t>(std::clamp(p[c] + add, 0, static_cast<int>(p[3])));
            }
        }
    });
}

void ImageColor::sharpenLuma(cv::Mat& luma, double sharpness, double radius)
{
    if (luma.empty() || luma.type() != CV_8UC1 || !(sharpness > 0) || !(radius > 0))
        return;
    cv::Mat blurred;
    cv::GaussianBlur(luma, blurred, cv::Size(0, 0), radius, radius, cv::BORDER_REPLICATE);
    const int amount = static_cast<int>(std::lround(sharpness * 1024));
    ImageCompositing::forRows(luma.rows, luma.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = luma.ptr<uint8_t>(y);
            const uint8_t* q = blurred.ptr<uint8_t>(y);
            // Kept within the limited range, as the BGRA way keeps each channel within 0…255.
            for (int x = 0; x < luma.cols; ++x)
                p[x] = static_cast<uint8_t>(std::clamp(p[x] + ((p[x] - q[x]) * amount) / 1024, 16, 235));
        }
    });
}
