#include "compositing/RasterFlip.h"
#include "compositing/StudioPalette.h"
#include "compositing/StudioRenderer.h"
#include "platform/image/ImageBlur.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageShapes.h"

#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct ShadowLayer {
    StudioPalette::Color color;
    double sigma;
    double offset; // downward
    double grow = 0;
};


// Keeps only the pixels that hold something.
ImageLayer trimmed(const cv::Mat& picture, QPoint origin)
{
    ImageLayer layer;
    const QRect content = ImageCompositing::contentBounds(picture);
    if (content.isEmpty())
        return layer;
    layer.pixels = PixelBuffer(content.width(), content.height());
    cv::Mat target = layer.mat();
    picture(cv::Rect(content.x(), content.y(), content.width(), content.height())).copyTo(target);
    layer.origin = origin + content.topLeft();
    return layer;
}

} // namespace

ImageLayer StudioRenderer::makeShadow(const QRectF& rect, double radius, bool heavy, bool tall, std::optional<QRectF> bakeIn) const
{
    using namespace StudioPalette;
    const double H = renderSize_.height();
    const double u = H / 1080.0;
    std::vector<ShadowLayer> layers;
    Color fill = lightFill;
    if (!geometry_.isDarkRoom()) {
        if (heavy)
            layers = {{withAlpha(shadowBrown, 0.30), 55 * u, 50 * u}, {withAlpha(shadowBrown, 0.18), 17 * u, 16 * u}};
        else if (tall)
            layers = {{withAlpha(shadowBrown, 0.30), 35 * u, 30 * u}};
        else
            layers = {{withAlpha(shadowBrown, 0.32), 30 * u, 28 * u}};
    } else {
        fill = darkFill;
        if (heavy)
            layers = {{withAlpha(warmGlow, 0.13), 0.075 * H, 0, 0.01 * H}, {withAlpha(black, 0.62), 0.042 * H, 0.03 * H},
                {withAlpha(black, 0.45), 0.008 * H, 0.005 * H}};
        else
            layers = {{withAlpha(black, 0.55), 0.022 * H, 0.012 * H}, {withAlpha(black, 0.40), 0.005 * H, 0.003 * H}};
    }

    const QRect region = bakeIn ? RasterFlip::pixelsTouched(RasterFlip::rect(*bakeIn, H)) : QRect(0, 0, renderSize_.width(), renderSize_.height());
    if (region.isEmpty() || !(rect.width() > 0) || !(rect.height() > 0))
        return {};
    cv::Mat result(region.height(), region.width(), CV_8UC4, cv::Scalar::all(0));
    for (const ShadowLayer& layer : layers) {
        const QRectF shapeRect(rect.x() - layer.grow, rect.y() - layer.grow - layer.offset, rect.width() + 2 * layer.grow,
            rect.height() + 2 * layer.grow);
        const RoundedRectShape shape = RoundedRectShape::make(RasterFlip::rect(shapeRect, H), radius + layer.grow);
        // The blurred layer is drawn whole (not cut at the bake region), so its edges fade as they should.
        const int reach = static_cast<int>(std::ceil(3 * layer.sigma)) + 2;
        const QRect bounds = shape.pixelBounds().adjusted(-reach, -reach, reach, reach);
        cv::Mat blurred(bounds.height(), bounds.width(), CV_8UC4, cv::Scalar::all(0));
        ImageShapes::fillRoundedRect(blurred, bounds.topLeft(), shape, layer.color);
        ImageBlur::gaussian(blurred, layer.sigma, false);
        ImageCompositing::over(result, blurred, bounds.topLeft() - region.topLeft());
    }
    ImageShapes::fillRoundedRect(result, region.topLeft(), RoundedRectShape::make(RasterFlip::rect(rect, H), radius), fill);
    return trimmed(result, region.topLeft());
}

const ImageLayer& StudioRenderer::windowShadow(LayoutState state)
{
    auto found = stateWindowShadows_.find(state);
    if (found != stateWindowShadows_.end())
        return found->second;
    const StudioLayoutFrame frame = geometry_.layoutFrame(state);
    const double g = 0.25 * renderSize_.height();
    const QRectF bakeIn = RasterFlip::pixelsTouched(frame.windowRect.adjusted(-g, -g, g, g));
    return stateWindowShadows_[state] = makeShadow(frame.windowRect, frame.windowRadius, true, false, bakeIn);
}

const ImageLayer& StudioRenderer::cardShadow(LayoutState state)
{
    auto found = stateCardShadows_.find(state);
    if (found != stateCardShadows_.end())
        return found->second;
    const StudioLayoutFrame frame = geometry_.layoutFrame(state);
    const double rim = frame.cardRim;
    const QRectF outer = frame.cardRect.adjusted(-rim, -rim, rim, rim);
    const double g = 0.25 * renderSize_.height();
    const QRectF bakeIn = RasterFlip::pixelsTouched(outer.adjusted(-g, -g, g, g));
    const bool heavy = state == LayoutState::face || state == LayoutState::split;
    return stateCardShadows_[state]
        = makeShadow(outer, frame.cardRadius + rim, heavy, geometry_.face == FaceLayout::tallLeft, bakeIn);
}

void StudioRenderer::bakeCardEdge()
{
    const double H = renderSize_.height();
    const QRect canvas(0, 0, std::max(renderSize_.width(), 1), std::max(renderSize_.height(), 1));
    const QRectF card = RasterFlip::rect(geometry_.cardRect, H);
    cv::Mat picture;
    QRect region;
    const double width = geometry_.isDarkRoom() ? geometry_.edgeWidth * 1.15 : 0.0;
    if (geometry_.isDarkRoom()) {
        // A cream stroke (1.15 × the edge width) brightest at the card's top.
        region = RasterFlip::pixelsTouched(card.adjusted(-width, -width, width, width)).adjusted(-1, -1, 1, 1).intersected(canvas);
        if (region.isEmpty())
            return;
        picture = cv::Mat(region.height(), region.width(), CV_8UC4, cv::Scalar::all(0));
        const double top = card.top();
        const double height = card.height();
        const auto fade = [top, height](double y) {
            const double t = height > 0 ? std::clamp((y - top) / height, 0.0, 1.0) : 0.0;
            return t < 0.5 ? 0.7 + (0.34 - 0.7) * (t / 0.5) : 0.34 + (0.14 - 0.34) * ((t - 0.5) / 0.5);
        };
        ImageShapes::strokeRoundedRect(picture, region.topLeft(), card, geometry_.cardRadius, width, StudioPalette::cream, fade);
    } else {
        const double rim = geometry_.cardRim;
        const RoundedRectShape outer = RoundedRectShape::make(card.adjusted(-rim, -rim, rim, rim), geometry_.cardRadius + rim);
        const RoundedRectShape inner = RoundedRectShape::make(card.adjusted(0.5, 0.5, -0.5, -0.5), geometry_.cardRadius);
        region = outer.pixelBounds().intersected(canvas);
        if (region.isEmpty())
            return;
        picture = cv::Mat(region.height(), region.width(), CV_8UC4, cv::Scalar::all(0));
        const double alpha = geometry_.face == FaceLayout::tallLeft ? 0.9 : 1.0;
        ImageShapes::fillRing(picture, region.topLeft(), outer, inner, StudioPalette::withAlpha(StudioPalette::rimCream, alpha));
    }
    cardEdge_ = trimmed(picture, region.topLeft());
    // Inside the card, clear of the stroke's inner half; kept only if every pixel there is indeed clear.
    const int inset = static_cast<int>(std::ceil(width / 2)) + 2;
    cardEdgeClear_ = RasterFlip::pixelsInside(card, geometry_.cardRadius).adjusted(inset, inset, -inset, -inset).intersected(cardEdge_.rect());
    const cv::Mat edge = cardEdge_.mat();
    for (int y = cardEdgeClear_.top(); y <= cardEdgeClear_.bottom() && !cardEdgeClear_.isEmpty(); ++y) {
        const auto* row = edge.ptr<uint32_t>(y - cardEdge_.origin.y()) + (cardEdgeClear_.left() - cardEdge_.origin.x());
        if (std::any_of(row, row + cardEdgeClear_.width(), [](uint32_t pixel) { return pixel != 0; }))
            cardEdgeClear_ = QRect();
    }
}

ImageLayer StudioRenderer::makeRipple()
{
    ImageLayer ripple;
    ripple.pixels = PixelBuffer(512, 512);
    QImage view = PixelBufferViews::image(ripple.pixels);
    QPainter painter(&view);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto glow = [](double alpha) {
        return QColor::fromRgbF(static_cast<float>(StudioPalette::warmGlow.red), static_cast<float>(StudioPalette::warmGlow.green),
            static_cast<float>(StudioPalette::warmGlow.blue), static_cast<float>(alpha));
    };
    QRadialGradient gradient(QPointF(256, 256), 256);
    gradient.setColorAt(0, glow(0));
    gradient.setColorAt(0.55, glow(0.04));
    gradient.setColorAt(0.82, glow(0.62));
    gradient.setColorAt(0.91, glow(0.22));
    gradient.setColorAt(1, glow(0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(QPointF(256, 256), 256, 256);
    return ripple;
}
