// Hot per-pixel loops: let the compiler vectorise them whatever the build type.
#pragma GCC optimize("O3")

#include "platform/image/PlanarCompositing.h"

#include "platform/image/ImageCompositing.h"
#include "platform/system/WideVectors.h"

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

// A row of pixels over a luma row.
template <bool Faded>
OLVENNAR_WIDE_VECTORS void overLumaRow(uint8_t* __restrict d, const uint8_t* __restrict s, int count, uint32_t k)
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
OLVENNAR_WIDE_VECTORS void overChromaRow(uint8_t* __restrict u, uint8_t* __restrict v, const uint8_t* __restrict top,
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
