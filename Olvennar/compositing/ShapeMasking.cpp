#include "compositing/ShapeMasking.h"

#include "compositing/RasterFlip.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

ImageLayer ShapeMasking::alphaMask(QSizeF size, const QPainterPath& path)
{
    const auto side = [](double v) { return std::isfinite(v) ? std::max(static_cast<int>(std::lround(v)), 1) : 1; };
    const QRect canvas(0, 0, side(size.width()), side(size.height()));
    const QRectF bounds = RasterFlip::rect(path.boundingRect(), canvas.height());
    const QRect area = QRect(QPoint(static_cast<int>(std::floor(bounds.left())) - 1, static_cast<int>(std::floor(bounds.top())) - 1),
        QPoint(static_cast<int>(std::ceil(bounds.right())) + 1, static_cast<int>(std::ceil(bounds.bottom())) + 1))
                           .intersected(canvas);
    ImageLayer mask;
    if (area.isEmpty()) {
        mask.pixels = PixelBuffer(1, 1);
        return mask;
    }
    mask.pixels = PixelBuffer(area.width(), area.height());
    mask.origin = area.topLeft();
    QImage view = PixelBufferViews::image(mask.pixels);
    QPainter painter(&view);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(RasterFlip::flip(canvas.height()) * QTransform::fromTranslate(-area.x(), -area.y()));
    QPainterPath filled = path;
    filled.setFillRule(Qt::WindingFill);
    painter.fillPath(filled, Qt::white);
    return mask;
}

QPainterPath ShapeMasking::roundedRectPath(const QRectF& rect, double radius)
{
    QPainterPath path;
    const double r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
    path.addRoundedRect(rect, r, r);
    return path;
}
