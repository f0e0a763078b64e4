// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/ImageColor.h"

#include "platform/image/ImageCompositing.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>

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

void ImageColor::applyGrade(cv::Mat& image, const Grade& grade)
{
    const std::array<double, 3> balance = whiteBalanceGains(grade.neutral, grade.targetNeutral);
    const double exposureGain = std::exp2(grade.ev);
    // Per channel: exposure and white balance in linear light, as 0…255 values scaled by 256.
    std::array<std::array<int32_t, 256>, 3> gains;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            gains[static_cast<size_t>(c)][static_cast<size_t>(v)] = static_cast<int32_t>(std::lround(
                256 * 255 * toEncoded(std::clamp(toLinear(v / 255.0) * exposureGain * balance[static_cast<size_t>(c)], 0.0, 1.0))));
    // Brightness and contrast on the saturated value (0…255 × 256), in fixed point.
    const int s = static_cast<int>(std::lround(grade.saturation * 256));
    const int contrast = static_cast<int>(std::lround(grade.contrast * 256));
    const int shift = static_cast<int>(std::lround(grade.brightness * 255 * 256)) - 32640;
    static const bool avx2 = __builtin_cpu_supports("avx2");
    ImageCompositing::forRows(image.rows, image.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = image.ptr<uint8_t>(y);
            const int done = avx2 ? gradeRowAvx2(p, image.cols, gains, s, contrast, shift) : 0;
            p += 4 * done;
            for (int x = done; x < image.cols; ++x, p += 4) {
                const int b = gains[0][p[0]], g = gains[1][p[1]], r = gains[2][p[2]];
                const int luma = (18 * b + 183 * g + 55 * r) >> 8;
                const auto out = [&](int c) {
                    const int saturated = luma + (((c - luma) * s) >> 8);
                    return static_cast<uint8_t>(std::clamp((((saturated + shift) * contrast) >> 16) + 128, 0, 255));
                };
                p[0] = std::min(out(b), p[3]);
                p[1] = std::min(out(g), p[3]);
                p[2] = std::min(out(r), p[3]);
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
