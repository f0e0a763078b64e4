#include "compositing/FestrinCompositor.h"

#include "compositing/BubbleShapePath.h"
#include "compositing/ShapeMasking.h"
#include "plans/MixdownRequest.h"
#include "platform/media/PixelBufferViews.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ringSide = 512;

// A value truncated toward zero for a key; nothing when it is not finite or beyond a sane range.
std::optional<long long> keyInt(double v)
{
    if (!std::isfinite(v) || std::abs(v) >= 1e15)
        return std::nullopt;
    return static_cast<long long>(v);
}

bool drawableSize(QSizeF size)
{
    return std::abs(size.width()) <= Mixdown::largestSide && std::abs(size.height()) <= Mixdown::largestSide;
}

// Whole pixels of a side, halves away from zero.
double wholePixels(double v) { return std::round(v); }

// The rows of the canvas a mask of this size is drawn on.
int canvasRows(QSizeF size) { return std::max(static_cast<int>(std::lround(size.height())), 1); }

// A tilt the outline cannot use leaves it untilted, as the live bubble does.
double usableTilt(double tilt) { return keyInt(tilt) ? tilt : 0.0; }

std::optional<QString> sizeKey(QSizeF size)
{
    const std::optional<long long> w = keyInt(size.width());
    const std::optional<long long> h = keyInt(size.height());
    if (!w || !h || !drawableSize(size))
        return std::nullopt;
    return QString::number(*w) + QLatin1Char('x') + QString::number(*h);
}

} // namespace

std::optional<QString> FestrinCompositor::shapeMaskKey(QSizeF size, BubbleShape shape, double tilt)
{
    const std::optional<QString> sides = sizeKey(size);
    if (!sides)
        return std::nullopt;
    return QStringLiteral("shape") + BubbleShapes::rawText(shape) + *sides + QLatin1Char('t') + QString::number(*keyInt(usableTilt(tilt)));
}

std::optional<QString> FestrinCompositor::roundedMaskKey(QSizeF size, double cornerRadius)
{
    const std::optional<QString> sides = sizeKey(size);
    const std::optional<long long> radius = keyInt(cornerRadius);
    if (!sides || !radius)
        return std::nullopt;
    return QStringLiteral("rounded") + *sides + QLatin1Char('r') + QString::number(*radius);
}

std::optional<QString> FestrinCompositor::solidRoundedKey(QSizeF size, double cornerRadius, double gray)
{
    const std::optional<QString> sides = sizeKey(size);
    const std::optional<long long> radius = keyInt(cornerRadius);
    const std::optional<long long> shade = keyInt(gray * 1000);
    if (!sides || !radius || !shade)
        return std::nullopt;
    return QStringLiteral("solid") + *sides + QLatin1Char('r') + QString::number(*radius) + QLatin1Char('g') + QString::number(*shade);
}

const FestrinCompositor::CachedImage* FestrinCompositor::shapeMask(QSizeF size, BubbleShape shape, double tilt)
{
    const std::optional<QString> key = shapeMaskKey(size, shape, tilt);
    if (!key)
        return nullptr;
    auto found = maskCache_.find(*key);
    if (found == maskCache_.end()) {
        const QRectF rect(0, 0, wholePixels(size.width()), wholePixels(size.height()));
        CachedImage mask{ShapeMasking::alphaMask(size, BubbleShapePath::path(shape, rect, usableTilt(tilt))), canvasRows(size)};
        found = maskCache_.emplace(*key, std::move(mask)).first;
    }
    return &found->second;
}

const FestrinCompositor::CachedImage* FestrinCompositor::roundedMask(QSizeF size, double cornerRadius)
{
    const std::optional<QString> key = roundedMaskKey(size, cornerRadius);
    if (!key)
        return nullptr;
    auto found = maskCache_.find(*key);
    if (found == maskCache_.end()) {
        const double w = std::max(1.0, wholePixels(size.width()));
        const double h = std::max(1.0, wholePixels(size.height()));
        const double radius = std::max(0.0, cornerRadius);
        QPainterPath path;
        path.addRoundedRect(QRectF(0, 0, w, h), std::min(w / 2, radius), std::min(h / 2, radius));
        found = maskCache_.emplace(*key, CachedImage{ShapeMasking::alphaMask(size, path), canvasRows(size)}).first;
    }
    return &found->second;
}

const FestrinCompositor::CachedImage* FestrinCompositor::solidRounded(QSizeF size, double cornerRadius, double gray)
{
    const std::optional<QString> key = solidRoundedKey(size, cornerRadius, gray);
    if (!key)
        return nullptr;
    if (const auto found = maskCache_.find(*key); found != maskCache_.end())
        return &found->second;
    const int w = static_cast<int>(std::max(1.0, wholePixels(size.width())));
    const int h = static_cast<int>(std::max(1.0, wholePixels(size.height())));
    ImageLayer plate;
    plate.pixels = PixelBuffer(w, h);
    if (plate.isEmpty())
        return nullptr;
    QImage view = PixelBufferViews::image(plate.pixels);
    QPainter painter(&view);
    if (!painter.isActive())
        return nullptr;
    painter.setRenderHint(QPainter::Antialiasing);
    const double radius = std::max(0.0, cornerRadius);
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRoundedRect(QRectF(0, 0, w, h), std::min(w / 2.0, radius), std::min(h / 2.0, radius));
    const auto channel = [](double v) { return static_cast<float>(std::clamp(v, 0.0, 1.0)); };
    painter.fillPath(path, QColor::fromRgbF(channel(gray), channel(gray), channel(gray + 0.008), 1.0f));
    painter.end();
    return &maskCache_.emplace(*key, CachedImage{std::move(plate), h}).first->second;
}

const ImageLayer& FestrinCompositor::ringImage()
{
    if (ringImage_)
        return *ringImage_;
    static const ImageLayer none;
    ImageLayer ring;
    ring.pixels = PixelBuffer(ringSide, ringSide);
    if (ring.isEmpty())
        return none;
    QImage view = PixelBufferViews::image(ring.pixels);
    QPainter painter(&view);
    if (!painter.isActive())
        return none;
    painter.setRenderHint(QPainter::Antialiasing);
    const double width = 0.09 * ringSide;
    painter.setPen(QPen(QColor::fromRgbF(static_cast<float>(ringColor[0]), static_cast<float>(ringColor[1]),
                            static_cast<float>(ringColor[2]), 1.0f),
        width));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(width, width, ringSide - 2 * width, ringSide - 2 * width));
    painter.end();
    ringImage_ = std::move(ring);
    return *ringImage_;
}
