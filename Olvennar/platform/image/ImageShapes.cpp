#include "platform/image/ImageShapes.h"

#include "platform/image/ImageCompositing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

struct Premultiplied {
    float b, g, r, a;
};

Premultiplied premultiply(const ImageShapes::Color& c)
{
    const double a = std::clamp(c.alpha, 0.0, 1.0);
    return {static_cast<float>(255.0 * std::clamp(c.blue, 0.0, 1.0) * a), static_cast<float>(255.0 * std::clamp(c.green, 0.0, 1.0) * a),
        static_cast<float>(255.0 * std::clamp(c.red, 0.0, 1.0) * a), static_cast<float>(255.0 * a)};
}

inline void blendColor(uint8_t* d, const Premultiplied& c, float cover)
{
    const float a = c.a * cover;
    if (a <= 0.0f)
        return;
    const float keep = 1.0f - a / 255.0f;
    d[0] = static_cast<uint8_t>(std::min(255.0f, c.b * cover + d[0] * keep + 0.5f));
    d[1] = static_cast<uint8_t>(std::min(255.0f, c.g * cover + d[1] * keep + 0.5f));
    d[2] = static_cast<uint8_t>(std::min(255.0f, c.r * cover + d[2] * keep + 0.5f));
    d[3] = static_cast<uint8_t>(std::min(255.0f, a + d[3] * keep + 0.5f));
}

// Rows and columns of the picture that the shape's bounds touch, in picture pixels.
QRect pictureArea(const cv::Mat& image, QPoint origin, const RoundedRectShape& shape)
{
    return shape.pixelBounds().translated(-origin).intersected(QRect(0, 0, image.cols, image.rows));
}

// Calls `paint(area, y, py)` for each picture row `y` the shape's bounds touch, rows shared out across the
// pool; `area` is those bounds in picture pixels and `py` the row's centre where the shape lies.
template <typename Paint>
void forShapeRows(const cv::Mat& image, QPoint origin, const RoundedRectShape& shape, const Paint& paint)
{
    const QRect area = pictureArea(image, origin, shape);
    if (area.isEmpty() || shape.isEmpty())
        return;
    ImageCompositing::forRows(area.height(), area.width(), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            const int y = area.top() + r;
            paint(area, y, origin.y() + y + 0.5);
        }
    });
}

} // namespace

void ImageShapes::fillRoundedRect(cv::Mat& image, QPoint origin, const RoundedRectShape& shape, const Color& color)
{
    const Premultiplied c = premultiply(color);
    forShapeRows(image, origin, shape, [&](const QRect& area, int y, double py) {
        const bool straight = shape.isStraightRow(py);
        uint8_t* row = image.ptr<uint8_t>(y);
        for (int x = area.left(); x <= area.right(); ++x) {
            const double px = origin.x() + x + 0.5;
            const float cover = (straight && px >= shape.left() + 0.5 && px <= shape.right() - 0.5) ? 1.0f : shape.coverage(px, py);
            if (cover > 0)
                blendColor(row + 4 * x, c, cover);
        }
    });
}

void ImageShapes::fillRing(cv::Mat& image, QPoint origin, const RoundedRectShape& outer, const RoundedRectShape& inner,
    const Color& color, const std::function<double(double)>& rowAlpha)
{
    const Premultiplied c = premultiply(color);
    forShapeRows(image, origin, outer, [&](const QRect& area, int y, double py) {
        const float fade = rowAlpha ? static_cast<float>(std::clamp(rowAlpha(py), 0.0, 1.0)) : 1.0f;
        if (fade <= 0)
            return;
        uint8_t* row = image.ptr<uint8_t>(y);
        // Beside the inner shape's straight edges its middle is covered by both shapes: skip it.
        int skipFrom = area.right() + 1, skipTo = area.right();
        if (!inner.isEmpty() && inner.isStraightRow(py)) {
            skipFrom = static_cast<int>(std::ceil(inner.left() + 0.5 - origin.x() - 0.5));
            skipTo = static_cast<int>(std::floor(inner.right() - 0.5 - origin.x() - 0.5));
        }
        // Where both shapes' coverages are one value along the row (their even spans): one value for the
        // whole span, and nothing to do when it is zero (the inside of the inner shape).
        int flatFrom = area.right() + 1, flatTo = area.right();
        if (skipFrom > area.right()) {
            RoundedRectShape::Span flat = outer.evenSpan(py);
            if (!inner.isEmpty()) {
                const RoundedRectShape::Span innerFlat = inner.evenSpan(py);
                flat.from = std::max(flat.from, innerFlat.from);
                flat.to = std::min(flat.to, innerFlat.to);
            }
            flatFrom = std::max(flat.from - origin.x(), area.left());
            flatTo = std::min(flat.to - origin.x(), area.right());
        }
        for (int x = area.left(); x <= area.right(); ++x) {
            if (x >= skipFrom && x <= skipTo) {
                x = skipTo;
                continue;
            }
            const double px = origin.x() + x + 0.5;
            const float cover = outer.coverage(px, py) - (inner.isEmpty() ? 0.0f : inner.coverage(px, py));
            if (x == flatFrom && x < flatTo) {
                if (cover > 0) {
                    for (int f = x; f <= flatTo; ++f)
                        blendColor(row + 4 * f, c, cover * fade);
                }
                x = flatTo;
                continue;
            }
            if (cover > 0)
                blendColor(row + 4 * x, c, cover * fade);
        }
    });
}

void ImageShapes::strokeRoundedRect(cv::Mat& image, QPoint origin, const QRectF& rect, double radius, double width,
    const Color& color, const std::function<double(double)>& rowAlpha)
{
    const double h = width / 2;
    const RoundedRectShape outer = RoundedRectShape::make(rect.adjusted(-h, -h, h, h), radius + h);
    const RoundedRectShape inner = RoundedRectShape::make(rect.adjusted(h, h, -h, -h), std::max(radius - h, 0.0));
    fillRing(image, origin, outer, inner, color, rowAlpha);
}

void ImageShapes::maskToRoundedRect(cv::Mat& image, QPoint origin, const RoundedRectShape& shape)
{
    ImageCompositing::forRows(image.rows, image.cols, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const double py = origin.y() + y + 0.5;
            const bool straight = shape.isStraightRow(py);
            uint8_t* row = image.ptr<uint8_t>(y);
            for (int x = 0; x < image.cols; ++x) {
                const double px = origin.x() + x + 0.5;
                if (straight && px >= shape.left() + 0.5 && px <= shape.right() - 0.5)
                    continue;
                const float cover = shape.isEmpty() ? 0.0f : shape.coverage(px, py);
                for (int c = 0; c < 4; ++c)
                    row[4 * x + c] = static_cast<uint8_t>(row[4 * x + c] * cover + 0.5f);
            }
        }
    });
}
