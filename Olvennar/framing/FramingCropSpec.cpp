#include "framing/FramingCropSpec.h"

#include "framing/ResolvedFramingCrop.h"
#include "framing/ShortCrop.h"

#include <QHash>

#include <algorithm>

FramingCropSpec FramingCropSpec::shape(BubbleShape shape)
{
    FramingCropSpec cropSpec(Kind::shape);
    cropSpec.shape_ = shape;
    return cropSpec;
}

FramingCropSpec FramingCropSpec::studio(FaceLayout face, StudioBackground background, LayoutState state)
{
    FramingCropSpec cropSpec(Kind::studio);
    cropSpec.face_ = face;
    cropSpec.background_ = background;
    cropSpec.state_ = state;
    return cropSpec;
}

std::vector<FramingCropSpec> FramingCropSpec::studioCrops(FaceLayout face, StudioBackground background, bool dynamic)
{
    if (!dynamic)
        return {studio(face, background, LayoutState::screen)};
    return {studio(face, background, LayoutState::screen), studio(face, background, LayoutState::split),
        studio(face, background, LayoutState::face), studio(face, background, LayoutState::focus)};
}

QString FramingCropSpec::caption() const
{
    switch (kind_) {
    case Kind::shape:
        return QStringLiteral("Centred square cut to a ")
            + (shape_ == BubbleShape::circle ? QStringLiteral("circle") : QStringLiteral("rounded square"))
            + QStringLiteral(".");
    case Kind::studio:
        switch (state_) {
        case LayoutState::face: return QStringLiteral("You large — intro, outro and long talking bits.");
        case LayoutState::split: return QStringLiteral("Big card beside the screen while you talk about it.");
        case LayoutState::screen:
            return face_ == FaceLayout::bottomRight ? QStringLiteral("The card bottom-right — most of the video.")
                                                    : QStringLiteral("The tall card on the left — most of the video.");
        case LayoutState::focus: return QStringLiteral("Small card in the corner during a long zoom.");
        }
        return {};
    case Kind::fullFrame: return QStringLiteral("The whole camera image — exactly the file.");
    case Kind::short_:
        return QStringLiteral("Roughly where the editor's face-tracked crop will land — not the draggable frame.");
    }
    return {};
}

std::optional<ResolvedFramingCrop> FramingCropSpec::resolve(const QSizeF& cameraSize) const
{
    const double width = cameraSize.width();
    const double height = cameraSize.height();
    if (!(width > 0) || !(height > 0))
        return std::nullopt;
    switch (kind_) {
    case Kind::shape: {
        const double side = std::min(width, height);
        const QRectF region((width - side) / 2 / width, (height - side) / 2 / height, side / width, side / height);
        const auto mask = shape_ == BubbleShape::circle ? ResolvedFramingCrop::Mask::ellipse()
                                                        : ResolvedFramingCrop::Mask::rounded(0.22);
        return ResolvedFramingCrop{*this, region, 1.0, mask, {{0.32, 0.45}, {0.32, 0.50}, 0.08, {0.04, 0.16}}};
    }
    case Kind::fullFrame:
        return ResolvedFramingCrop{*this, QRectF(0, 0, 1, 1), width / height, ResolvedFramingCrop::Mask::rect(),
            {{0.29, 0.38}, {0.17, 0.25}, 0.10, {0.10, 0.22}}};
    case Kind::short_: {
        const QRectF crop = ShortFraming::cropRect(cameraSize, {0.5, 0.5});
        if (crop.width() < 2 || crop.height() < 2)
            return std::nullopt;
        const QRectF region(crop.x() / width, crop.y() / height, crop.width() / width, crop.height() / height);
        return ResolvedFramingCrop{*this, region, 0.5625, ResolvedFramingCrop::Mask::rect(),
            {{0.33, 0.41}, {0.18, 0.28}, 0.12, {0.10, 0.27}}};
    }
    case Kind::studio:
        return resolveStudio(cameraSize);
    }
    return std::nullopt;
}

bool FramingCropSpec::operator==(const FramingCropSpec& other) const
{
    if (kind_ != other.kind_)
        return false;
    switch (kind_) {
    case Kind::shape: return shape_ == other.shape_;
    case Kind::studio: return face_ == other.face_ && background_ == other.background_ && state_ == other.state_;
    default: return true;
    }
}

size_t FramingCropSpec::hash() const
{
    size_t seed = qHash(static_cast<int>(kind_));
    switch (kind_) {
    case Kind::shape:
        seed = qHashMulti(seed, BubbleShapes::rawText(shape_));
        break;
    case Kind::studio:
        seed = qHashMulti(seed, StudioLook::rawText(face_), StudioLook::rawText(background_),
            StudioLook::rawText(state_));
        break;
    default:
        break;
    }
    return seed;
}
