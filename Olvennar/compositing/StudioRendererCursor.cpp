#include "compositing/RasterFlip.h"
#include "compositing/StudioCamera.h"
#include "compositing/StudioPalette.h"
#include "compositing/StudioRenderer.h"
#include "compositing/StudioRendererScratch.h"
#include "platform/image/ImageBlur.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageResampling.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>

namespace {

constexpr double spriteUnit = 14;
constexpr double spriteMargin = 70;
constexpr double rippleLife = 0.55;

QColor brown(double alpha)
{
    return QColor::fromRgbF(0.173f, 0.082f, 0.031f, static_cast<float>(alpha));
}

} // namespace

StudioRenderer::CursorOutline StudioRenderer::cursorPath(CursorShape shape)
{
    CursorOutline outline;
    if (shape == CursorShape::iBeam) {
        QPainterPath spine;
        spine.moveTo(0, -7.7);
        spine.lineTo(0, 7.7);
        spine.moveTo(-2.8, -9);
        spine.quadTo(-0.4, -9, 0, -7.7);
        spine.quadTo(0.4, -9, 2.8, -9);
        spine.moveTo(-2.8, 9);
        spine.quadTo(-0.4, 9, 0, 7.7);
        spine.quadTo(0.4, 9, 2.8, 9);
        QPainterPathStroker stroker;
        stroker.setWidth(1.35);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        stroker.setMiterLimit(4);
        outline.body = stroker.createStroke(spine);
    } else if (shape == CursorShape::hand) {
        QPainterPath& p = outline.body;
        // Arcs run through the top of each circle (toward smaller y): from angle π to 0 in path space.
        const auto arc = [&p](double cx, double cy, double r) { p.arcTo(QRectF(cx - r, cy - r, 2 * r, 2 * r), 180, -180); };
        p.moveTo(-1.65, 1.65);
        arc(0, 1.65, 1.65);
        p.lineTo(1.65, 8.6);
        arc(2.7, 8.6, 1.05);
        p.lineTo(3.75, 9.4);
        arc(4.7, 9.4, 0.95);
        p.lineTo(5.65, 10.3);
        arc(6.5, 10.3, 0.85);
        p.lineTo(7.35, 15.2);
        p.quadTo(7.35, 19.6, 4.4, 20.4);
        p.lineTo(-1.2, 20.4);
        p.quadTo(-3.6, 20.4, -4.1, 17.6);
        p.quadTo(-5.9, 15.4, -7.1, 12.6);
        p.quadTo(-7.5, 10.9, -5.3, 11.2);
        p.lineTo(-1.65, 13.0);
        p.closeSubpath();
        QPainterPath detail;
        detail.moveTo(1.65, 9.2);
        detail.lineTo(1.65, 12.2);
        detail.moveTo(3.75, 10.0);
        detail.lineTo(3.75, 12.6);
        detail.moveTo(5.65, 10.9);
        detail.lineTo(5.65, 13.0);
        outline.detail = detail;
    } else {
        QPainterPath& p = outline.body;
        p.moveTo(0, 0);
        for (const QPointF& point : {QPointF(0, 16.9), QPointF(4.1, 13.2), QPointF(6.8, 19.3), QPointF(9.4, 18.2), QPointF(6.8, 12.3), QPointF(12.3, 12.3)})
            p.lineTo(point);
        p.closeSubpath();
    }
    outline.body.setFillRule(Qt::WindingFill);
    return outline;
}

StudioRenderer::CursorSprite StudioRenderer::makeCursor(CursorShape shape)
{
    const CursorOutline outline = cursorPath(shape);
    const QRectF bb = outline.body.boundingRect();
    const int width = std::max(static_cast<int>(spriteUnit * bb.width() + 2 * spriteMargin), 1);
    const int height = std::max(static_cast<int>(spriteUnit * bb.height() + 2 * spriteMargin), 1);
    CursorSprite sprite;
    sprite.unit = spriteUnit;
    sprite.hotspot = QPointF(spriteMargin - spriteUnit * bb.left(), height - spriteMargin + spriteUnit * bb.top());
    sprite.image.pixels = PixelBuffer(width, height);
    if (sprite.image.pixels.isEmpty()) {
        sprite.hotspot = {};
        return sprite;
    }
    // Path units (y down on the sprite) to sprite rows.
    const QTransform toPixels = QTransform::fromTranslate(-bb.left(), -bb.top()) * QTransform::fromScale(spriteUnit, spriteUnit)
        * QTransform::fromTranslate(spriteMargin, spriteMargin);
    const QPen outlinePen(brown(1), 1.9, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);

    // The soft drop shadow: the body's silhouette, blurred and moved down and right.
    {
        PixelBuffer shadow(width, height);
        QImage view = PixelBufferViews::image(shadow);
        QPainter p(&view);
        p.setRenderHint(QPainter::Antialiasing);
        p.setTransform(toPixels * QTransform::fromTranslate(7, 19.6));
        p.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.55f), 1.9, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
        p.setBrush(QColor::fromRgbF(0, 0, 0, 0.55f));
        p.drawPath(outline.body);
        p.end();
        cv::Mat mat = PixelBufferViews::mat(shadow);
        ImageBlur::gaussian(mat, 44.8 / 2, false);
        cv::Mat target = sprite.image.mat();
        ImageCompositing::over(target, mat, {});
    }
    QImage view = PixelBufferViews::image(sprite.image.pixels);
    QPainter p(&view);
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(toPixels);
    p.setPen(outlinePen);
    p.setBrush(brown(1));
    p.drawPath(outline.body);
    p.save();
    p.setClipPath(outline.body);
    QLinearGradient body(0, bb.top(), 0, bb.bottom());
    body.setColorAt(0, QColor::fromRgbF(0.961f, 0.929f, 0.847f));
    body.setColorAt(1, QColor::fromRgbF(0.925f, 0.871f, 0.776f));
    body.setSpread(QGradient::PadSpread);
    p.fillRect(bb.adjusted(-1, -1, 1, 1), body);
    p.restore();
    if (outline.detail) {
        p.setPen(QPen(brown(0.75), 0.55, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(*outline.detail);
    }
    return sprite;
}

std::optional<StudioRenderer::ClickRipple> StudioRenderer::clickRipple(double age, double magnification, double height)
{
    if (!(age >= 0) || age > rippleLife)
        return std::nullopt;
    const double m = std::max(0.3, magnification);
    const double p = 1 - age / rippleLife;
    ClickRipple ripple;
    ripple.radius = 0.046 * height * std::sqrt(m) * (0.45 + 0.85 * (1 - p * p * p));
    ripple.alpha = 0.75 * std::pow(p, 1.4);
    return ripple;
}

double StudioRenderer::pressScale(double time, const std::vector<Click>& clicks)
{
    double press = 1;
    for (const Click& click : clicks) {
        const double d = time - click.time;
        if (d < -0.04 || d > 0.2)
            continue;
        const double since = std::max(d + 0.04, 0.0);
        press = std::min(press, 1 - 0.16 * std::sin(M_PI * since / 0.24));
    }
    return press;
}

void StudioRenderer::drawRipples(double time, const StudioCamera& camera, const std::vector<Click>& clicks, const QRectF& windowRect,
    bool covers, const PieceSink& sink)
{
    if (ripple_.isEmpty())
        return;
    const double H = renderSize_.height();
    const QRect canvas(QPoint(0, 0), renderSize_);
    for (const Click& click : clicks) {
        const std::optional<ClickRipple> ring = clickRipple(time - click.time, camera.magnification, H);
        if (!ring)
            continue;
        const QPointF point = camera.transform.map(QPointF(screenSize_.width() * click.x, screenSize_.height() * click.y));
        if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
            continue;
        if (!covers && !windowRect.contains(point))
            continue;
        const double R = ring->radius;
        const QPointF corner = RasterFlip::point(point, H) - QPointF(R, R);
        const QTransform place = QTransform::fromScale(2 * R / ripple_.pixels.width(), 2 * R / ripple_.pixels.width())
            * QTransform::fromTranslate(corner.x(), corner.y());
        const QRect area = ImageResampling::mappedBounds(ripple_.mat().size(), place).intersected(canvas);
        if (area.isEmpty())
            continue;
        cv::Mat part = Scratch::area(scratch_->sprite, area.size());
        ImageResampling::draw(ripple_.mat(), place, area, part, ImageResampling::Filter::linear);
        sink(part, area.topLeft(), ring->alpha);
    }
}

void StudioRenderer::drawPointer(double time, const StudioCamera& camera, const PointerPath& pointer, const std::vector<Click>& clicks,
    const QRectF& windowRect, bool covers, const PieceSink& sink)
{
    const std::optional<QPointF> position = pointer.position(time);
    if (!position)
        return;
    const auto inRange = [](double v) { return v >= -0.005 && v <= 1.005; };
    if (!inRange(position->x()) || !inRange(position->y()))
        return;
    const QPointF point = camera.transform.map(QPointF(screenSize_.width() * position->x(), screenSize_.height() * position->y()));
    if (!covers && !windowRect.adjusted(-2, -2, 2, 2).contains(point))
        return;
    const CursorSprite* chosen = sprite(pointer.shape(time));
    if (!chosen || chosen->image.isEmpty())
        return;
    const double H = renderSize_.height();
    const double m = std::max(0.3, camera.magnification);
    const double k = 0.046 * H * std::sqrt(m) * pressScale(time, clicks) / (chosen->unit * 19.3);
    // The hotspot (measured from the sprite's bottom) lands on the point.
    const double spriteHeight = chosen->image.pixels.height();
    const QPointF raster = RasterFlip::point(point, H);
    const QTransform place = QTransform::fromScale(k, k)
        * QTransform::fromTranslate(raster.x() - chosen->hotspot.x() * k, raster.y() - (spriteHeight - chosen->hotspot.y()) * k);
    const QRect area = ImageResampling::mappedBounds(chosen->image.mat().size(), place).intersected(QRect(QPoint(0, 0), renderSize_));
    if (area.isEmpty())
        return;
    cv::Mat part = Scratch::area(scratch_->sprite, area.size());
    ImageResampling::draw(chosen->image.mat(), place, area, part, ImageResampling::Filter::lanczos);
    sink(part, area.topLeft(), 1);
}
