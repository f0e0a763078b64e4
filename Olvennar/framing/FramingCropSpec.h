#pragma once

#include "takedata/BubbleShape.h"
#include "takedata/StudioLook.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

struct ResolvedFramingCrop;

// Which crop of the camera picture is judged: the whole frame, the live bubble, one studio face card, the short.
class FramingCropSpec {
public:
    enum class Kind { fullFrame = 0, shape = 1, studio = 2, short_ = 3 };

    static FramingCropSpec fullFrame() { return FramingCropSpec(Kind::fullFrame); }
    static FramingCropSpec shape(BubbleShape shape);
    static FramingCropSpec studio(FaceLayout face, StudioBackground background, LayoutState state);
    static FramingCropSpec short_() { return FramingCropSpec(Kind::short_); }

    // The studio specs of the current look: screen, split, face, focus when the layout is dynamic, else screen.
    static std::vector<FramingCropSpec> studioCrops(FaceLayout face, StudioBackground background, bool dynamic);

    Kind kind() const { return kind_; }
    // Payloads; meaningful only for the kind that carries them.
    BubbleShape bubbleShape() const { return shape_; }
    FaceLayout faceLayout() const { return face_; }
    StudioBackground background() const { return background_; }
    LayoutState state() const { return state_; }

    // One line for the check window's crop picker.
    QString caption() const;
    // Where this crop lies in a camera picture of the given pixel size; none for a size without area or a crop
    // that cannot be placed.
    std::optional<ResolvedFramingCrop> resolve(const QSizeF& cameraSize) const;

    // A face card (canvas 1920x1080, y up, points) over the camera picture, placed as the renderer places it.
    std::optional<ResolvedFramingCrop> resolveCard(const QRectF& card, double radius, const QSizeF& cameraSize) const;

    bool operator==(const FramingCropSpec& other) const;
    size_t hash() const;

private:
    std::optional<ResolvedFramingCrop> resolveStudio(const QSizeF& cameraSize) const;
    explicit FramingCropSpec(Kind kind) : kind_(kind) {}

    Kind kind_;
    BubbleShape shape_ = BubbleShape::circle;
    FaceLayout face_ = FaceLayout::bottomRight;
    StudioBackground background_ = StudioBackground::linen;
    LayoutState state_ = LayoutState::screen;
};

template <>
struct std::hash<FramingCropSpec> {
    size_t operator()(const FramingCropSpec& cropSpec) const noexcept { return cropSpec.hash(); }
};
