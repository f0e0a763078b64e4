#include "framing/ResolvedFramingCrop.h"

#include <algorithm>

QString ResolvedFramingCrop::name() const
{
    switch (cropSpec.kind()) {
    case FramingCropSpec::Kind::shape: return BubbleShapes::rawText(cropSpec.bubbleShape());
    case FramingCropSpec::Kind::studio:
        switch (cropSpec.state()) {
        case LayoutState::face: return QStringLiteral("Face");
        case LayoutState::split: return QStringLiteral("Side");
        case LayoutState::screen: return QStringLiteral("Card");
        case LayoutState::focus: return QStringLiteral("Corner");
        }
        return {};
    case FramingCropSpec::Kind::fullFrame: return QStringLiteral("Full frame");
    case FramingCropSpec::Kind::short_: return QStringLiteral("Short frame");
    }
    return {};
}

QPainterPath ResolvedFramingCrop::maskPath(const QRectF& rect) const
{
    QPainterPath path;
    switch (mask.kind) {
    case Mask::Kind::rounded: {
        const double radius = std::min(rect.width(), rect.height()) * mask.radius;
        path.addRoundedRect(rect, radius, radius);
        break;
    }
    case Mask::Kind::card: {
        const double h = rect.height();
        const QRectF card(rect.x() + h * mask.card.x(), rect.y() + h * mask.card.y(), h * mask.card.width(),
            h * mask.card.height());
        const double radius = std::max(0.0, std::min({h * mask.radius, card.width() / 2, card.height() / 2}));
        path.addRoundedRect(card, radius, radius);
        break;
    }
    case Mask::Kind::rect:
        path.addRect(rect);
        break;
    case Mask::Kind::ellipse:
        path.addEllipse(rect);
        break;
    }
    return path;
}
