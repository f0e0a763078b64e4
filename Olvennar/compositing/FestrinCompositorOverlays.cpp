#include "compositing/FestrinCompositor.h"

#include "compositing/RasterFlip.h"
#include "compositing/RenderRect.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageResampling.h"
#include "platform/media/PixelBufferViews.h"

#include <algorithm>
#include <cmath>

namespace {

int rounded(double v) { return static_cast<int>(std::lround(v)); }

// The raster pixels of a render-space rectangle, its edges rounded to whole pixels.
QRect rasterPixels(const QRectF& rect, double canvasHeight)
{
    const int x0 = rounded(RenderRect::minX(rect));
    const int x1 = rounded(RenderRect::maxX(rect));
    const int y0 = rounded(canvasHeight - RenderRect::maxY(rect));
    const int y1 = rounded(canvasHeight - RenderRect::minY(rect));
    return {x0, y0, x1 - x0, y1 - y0};
}

// Where the raster top-left of a picture `height` rows tall lies when its bottom-left sits on `origin`.
QPoint rasterTopLeft(QPointF origin, int height, double canvasHeight)
{
    return {rounded(origin.x()), rounded(canvasHeight - origin.y()) - height};
}

} // namespace

std::optional<QTransform> FestrinCompositor::place(QSizeF extent, const QRectF& rect, FitMode mode)
{
    if (!(extent.width() > 0) || !(extent.height() > 0))
        return std::nullopt;
    const double sx = rect.width() / extent.width();
    const double sy = rect.height() / extent.height();
    const double scale = mode == FitMode::fit ? std::min(sx, sy) : std::max(sx, sy);
    return QTransform::fromScale(scale, scale)
        * QTransform::fromTranslate(RenderRect::midX(rect) - scale * extent.width() / 2, RenderRect::midY(rect) - scale * extent.height() / 2);
}

FestrinCompositor::PhoneFrame FestrinCompositor::phoneFrame(const QRectF& phoneRect)
{
    const double w = phoneRect.width();
    PhoneFrame frame;
    frame.bezel = 0.03 * w;
    frame.outerRadius = 0.155 * w;
    frame.innerRadius = std::max(2.0, frame.outerRadius - frame.bezel);
    frame.screen = phoneRect.adjusted(frame.bezel, frame.bezel, -frame.bezel, -frame.bezel);
    const double pillWidth = 0.3 * w;
    const double pillHeight = 0.085 * w;
    const double pillBottom = RenderRect::maxY(phoneRect) - frame.bezel - 0.028 * w - pillHeight;
    frame.pill = QRectF(RenderRect::midX(phoneRect) - pillWidth / 2, pillBottom, pillWidth, pillHeight);
    return frame;
}

void FestrinCompositor::drawPlaced(const PixelBuffer& image, const QRectF& rect, FitMode mode, const CachedImage* mask,
    double canvasHeight, cv::Mat& target, QPoint targetOrigin, double alpha)
{
    const std::optional<QTransform> placement = place(QSizeF(image.width(), image.height()), rect, mode);
    if (!placement)
        return;
    // Cropped to the rectangle and to the picture itself (a fitted picture may not fill it); inside that,
    // edge pixels repeat, so a picture that fills its rectangle exactly keeps a crisp border.
    const QRectF shown = RenderRect::intersection(rect, placement->mapRect(QRectF(0, 0, image.width(), image.height())));
    const QRect area = rasterPixels(shown, canvasHeight).translated(-targetOrigin).intersected(QRect(0, 0, target.cols, target.rows));
    if (area.isEmpty())
        return;
    const QTransform toTarget = RasterFlip::transform(*placement, image.height(), canvasHeight)
        * QTransform::fromTranslate(-targetOrigin.x(), -targetOrigin.y());
    ImageResampling::draw(PixelBufferViews::mat(image), toTarget, area, scratch_.layer, ImageResampling::Filter::linear, true);
    if (mask) {
        const QPoint canvas = rasterTopLeft(QPointF(RenderRect::minX(rect), RenderRect::minY(rect)), mask->canvasRows, canvasHeight);
        ImageCompositing::blendWithAlphaMask(scratch_.layer, mask->image.mat(), canvas + mask->image.origin - targetOrigin - area.topLeft());
    }
    ImageCompositing::over(target, scratch_.layer, area.topLeft(), alpha);
}

void FestrinCompositor::drawPlate(const CachedImage& plate, const QRectF& rect, double canvasHeight, cv::Mat& target, QPoint targetOrigin)
{
    const QPoint at = rasterTopLeft(QPointF(RenderRect::minX(rect), RenderRect::minY(rect)), plate.canvasRows, canvasHeight)
        + plate.image.origin - targetOrigin;
    ImageCompositing::over(target, plate.image.mat(), at);
}

void FestrinCompositor::drawPhoneOverlay(const PixelBuffer& phone, const CompositorSettings& settings, double alpha, PixelBuffer& out)
{
    const double H = out.height();
    cv::Mat canvas = PixelBufferViews::mat(out);
    if (alpha >= 0.999) {
        drawPhone(phone, settings, H, canvas, {});
        return;
    }
    // The phone is drawn over a copy of the base and that copy faded over the base: a cross-fade between
    // the picture without and with the phone, so the body never shows through its own screen.
    const QRect region = rasterPixels(settings.phoneRect, H).adjusted(-1, -1, 1, 1).intersected(QRect(0, 0, out.width(), out.height()));
    if (region.isEmpty())
        return;
    canvas(cv::Rect(region.x(), region.y(), region.width(), region.height())).copyTo(scratch_.region);
    drawPhone(phone, settings, H, scratch_.region, region.topLeft());
    ImageCompositing::over(canvas, scratch_.region, region.topLeft(), alpha);
}

void FestrinCompositor::drawPhone(const PixelBuffer& phone, const CompositorSettings& settings, double canvasHeight, cv::Mat& target,
    QPoint targetOrigin)
{
    const QRectF& R = settings.phoneRect;
    if (!settings.phoneShowsFrame) {
        const bool rounded = settings.phoneCornerRadius > 0.5;
        const CachedImage* mask = rounded ? roundedMask(R.size(), settings.phoneCornerRadius) : nullptr;
        if (!rounded || mask)
            drawPlaced(phone, R, FitMode::fit, mask, canvasHeight, target, targetOrigin);
        return;
    }
    const PhoneFrame frame = phoneFrame(R);
    if (const CachedImage* body = solidRounded(R.size(), frame.outerRadius, 0.055))
        drawPlate(*body, R, canvasHeight, target, targetOrigin);
    const bool rounded = frame.innerRadius > 0.5;
    const CachedImage* mask = rounded ? roundedMask(frame.screen.size(), frame.innerRadius) : nullptr;
    if (!rounded || mask)
        drawPlaced(phone, frame.screen, FitMode::fit, mask, canvasHeight, target, targetOrigin);
    if (const CachedImage* pill = solidRounded(frame.pill.size(), frame.pill.height() / 2, 0.02))
        drawPlate(*pill, frame.pill, canvasHeight, target, targetOrigin);
}

void FestrinCompositor::drawClassicBubble(const PixelBuffer& camera, const CompositorSettings& settings, double alpha, PixelBuffer& out)
{
    const QRectF& rect = settings.bubbleRect;
    const CachedImage* mask = shapeMask(rect.size(), settings.bubbleShape, settings.bubbleTilt);
    // No outline, no bubble: everything outside the mask is transparent.
    if (!mask)
        return;
    cv::Mat canvas = PixelBufferViews::mat(out);
    drawPlaced(camera, rect, FitMode::fill, mask, out.height(), canvas, {}, alpha < 0.999 ? alpha : 1.0);
}
