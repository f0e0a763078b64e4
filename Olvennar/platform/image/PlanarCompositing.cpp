// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/PlanarCompositing.h"

#include "platform/image/ImageCompositing.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

// The piece over the canvas, each pixel's premultiplied components weighed by weight(x, y) (canvas pixels)
// and faded by `alpha` the way BGRA compositing fades them (each component times a factor out of 255,
// rounded), so both ways round alike.
template <typename Weight>
void blendPiece(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, double alpha, const Weight& weight)
{
    if (canvas.isEmpty() || piece.empty() || piece.type() != CV_8UC4 || !(alpha > 0))
        return;
    const uint32_t k = static_cast<uint32_t>(std::lround(std::min(alpha, 1.0) * 255));
    const auto faded = [k](uint8_t v) {
        const uint32_t x = v * k + 128;
        return static_cast<float>((x + (x >> 8)) >> 8);
    };
    const QRect clip = QRect(at.x(), at.y(), piece.cols, piece.rows).intersected(canvas.rect());
    if (clip.isEmpty())
        return;
    // Luma, pixel by pixel.
    ImageCompositing::forRows(clip.height(), clip.width(), [&](int r0, int r1) {
        std::vector<float> w(static_cast<size_t>(clip.width()));
        for (int r = r0; r < r1; ++r) {
            const int y = clip.top() + r;
            const uint8_t* s = piece.ptr<uint8_t>(y - at.y()) + 4 * (clip.left() - at.x());
            uint8_t* d = canvas.data[0] + static_cast<ptrdiff_t>(y) * canvas.stride[0] + clip.left();
            for (int i = 0; i < clip.width(); ++i)
                w[static_cast<size_t>(i)] = weight(clip.left() + i, y);
            for (int i = 0; i < clip.width(); ++i) {
                const uint8_t* p = s + 4 * i;
                const float f = w[static_cast<size_t>(i)];
                const float A = faded(p[3]);
                d[i] = blended(d[i], f * (yA * A + yR * faded(p[2]) + yG * faded(p[1]) + yB * faded(p[0])), A * f * (1.0f / 255));
            }
        }
    });
    // Chroma: the block sums of the weighed components over the block's pixels on the canvas (four, or fewer
    // in the last column or row of an odd size).
    const QRect blocks = PlanarCompositing::chromaTouched(clip);
    ImageCompositing::forRows(blocks.height(), clip.width(), [&](int r0, int r1) {
        const size_t n = static_cast<size_t>(blocks.width());
        std::vector<float> sumA(n), sumR(n), sumG(n), sumB(n);
        for (int r = r0; r < r1; ++r) {
            const int cy = blocks.top() + r;
            std::fill(sumA.begin(), sumA.end(), 0.0f);
            std::fill(sumR.begin(), sumR.end(), 0.0f);
            std::fill(sumG.begin(), sumG.end(), 0.0f);
            std::fill(sumB.begin(), sumB.end(), 0.0f);
            for (int y = std::max(2 * cy, clip.top()); y <= std::min(2 * cy + 1, clip.bottom()); ++y) {
                const uint8_t* s = piece.ptr<uint8_t>(y - at.y());
                for (int x = clip.left(); x <= clip.right(); ++x) {
                    const uint8_t* p = s + 4 * (x - at.x());
                    const float f = weight(x, y);
                    const size_t i = static_cast<size_t>((x >> 1) - blocks.left());
                    sumA[i] += f * faded(p[3]);
                    sumR[i] += f * faded(p[2]);
                    sumG[i] += f * faded(p[1]);
                    sumB[i] += f * faded(p[0]);
                }
            }
            uint8_t* u = canvas.data[1] + static_cast<ptrdiff_t>(cy) * canvas.stride[1] + blocks.left();
            uint8_t* v = canvas.data[2] + static_cast<ptrdiff_t>(cy) * canvas.stride[2] + blocks.left();
            const float rowShare = 2 * cy + 1 < canvas.height ? 0.5f : 1.0f;
            for (size_t i = 0; i < n; ++i) {
                const float share = rowShare * (2 * (blocks.left() + static_cast<int>(i)) + 1 < canvas.width ? 0.5f : 1.0f);
                const float A = share * sumA[i], R = share * sumR[i], G = share * sumG[i], B = share * sumB[i];
                const float a = A * (1.0f / 255);
                u[i] = blended(u[i], cA * A + uR * R + uG * G + uB * B, a);
                v[i] = blended(v[i], cA * A + vR * R + vG * G + vB * B, a);
            }
        }
    });
}

} // namespace

void PlanarCompositing::over(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, double alpha)
{
    blendPiece(canvas, piece, at, alpha, [](int, int) { return 1.0f; });
}

void PlanarCompositing::overMasked(const PlanarCanvas& canvas, const cv::Mat& piece, QPoint at, const RoundedRectShape& mask)
{
    if (mask.isEmpty())
        return;
    blendPiece(canvas, piece, at, 1.0, [&mask](int x, int y) { return mask.coverage(x + 0.5, y + 0.5); });
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
