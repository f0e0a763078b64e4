#include "compositing/FaceCardFraming.h"

#include "compositing/RenderRect.h"

#include <algorithm>

using namespace RenderRect;

std::optional<FaceCardFraming> FaceCardFraming::make(const StudioGeometry& geometry, QSizeF cameraSize)
{
    const QRectF card = geometry.cardRect;
    if (!(cameraSize.width() > 0) || !(cameraSize.height() > 0) || !(card.width() > 0) || !(card.height() > 0))
        return std::nullopt;

    FaceCardFraming framing;
    framing.cardRect = card;
    framing.cardRadius = geometry.cardRadius;
    framing.scale = std::max(card.width() / cameraSize.width(), card.height() / cameraSize.height()) * wide;
    const double scaledWidth = cameraSize.width() * framing.scale;
    const double scaledHeight = cameraSize.height() * framing.scale;

    framing.visibleRect = intersection(card, QRectF(QPointF(0, 0), geometry.size));
    if (framing.visibleRect.isEmpty())
        framing.visibleRect = card;

    const double slack = std::max((scaledWidth - card.width()) / 2, 0.0);
    const double centerX = midX(card) + std::clamp(midX(framing.visibleRect) - midX(card), -slack, slack);
    const double centerY = midY(card) - 0.06 * (scaledHeight - card.height());
    framing.cameraRect = QRectF(centerX - scaledWidth / 2, centerY - scaledHeight / 2, scaledWidth, scaledHeight);
    return framing;
}
