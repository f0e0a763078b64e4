#include "framing/FramingCropSpec.h"

#include "compositing/FaceCardFraming.h"
#include "compositing/RenderRect.h"
#include "compositing/StudioGeometry.h"
#include "framing/ResolvedFramingCrop.h"

using namespace RenderRect;

namespace {

// The studio cards are judged on a 1920x1080 canvas showing a 16:9 screen.
const QSizeF canvas(1920, 1080);
constexpr double screenAspect = 1920.0 / 1080.0;

// Tall cards take a larger face and a wider tolerance, wide cards the opposite.
FramingTarget studioTarget(double aspect)
{
    if (aspect < 0.8)
        return {{0.28, 0.41}, {0.28, 0.46}, 0.14, {0.03, 0.15}};
    if (aspect <= 1.4)
        return {{0.28, 0.41}, {0.27, 0.44}, 0.12, {0.03, 0.15}};
    return {{0.28, 0.41}, {0.26, 0.40}, 0.10, {0.03, 0.16}};
}

} // namespace

std::optional<ResolvedFramingCrop> FramingCropSpec::resolveStudio(const QSizeF& cameraSize) const
{
    const StudioGeometry geometry(canvas, screenAspect, face_, background_);
    const StudioLayoutFrame frame = geometry.layoutFrame(state_);
    return resolveCard(frame.cardRect, frame.cardRadius, cameraSize);
}

std::optional<ResolvedFramingCrop> FramingCropSpec::resolveCard(
    const QRectF& card, double radius, const QSizeF& cameraSize) const
{
    // The card shows the picture exactly as the renderer places it.
    StudioGeometry geometry(canvas, screenAspect, face_, background_);
    geometry.cardRect = card;
    geometry.cardRadius = radius;
    const std::optional<FaceCardFraming> framing = FaceCardFraming::make(geometry, cameraSize);
    if (!framing)
        return std::nullopt;
    const QRectF& visible = framing->visibleRect;
    const QRectF& image = framing->cameraRect;

    // Canvas y grows upward; the region's y grows downward from the picture's top edge.
    const QRectF region((minX(visible) - minX(image)) / image.width(), (maxY(image) - maxY(visible)) / image.height(),
        visible.width() / image.width(), visible.height() / image.height());
    const double aspect = visible.width() / std::max(visible.height(), 1.0);
    const double unit = visible.height();
    const auto mask = ResolvedFramingCrop::Mask::cardIn(QRectF((minX(card) - minX(visible)) / unit,
                                                            (maxY(visible) - maxY(card)) / unit, card.width() / unit,
                                                            card.height() / unit),
        radius / unit);
    return ResolvedFramingCrop{*this, region, aspect, mask, studioTarget(aspect)};
}
