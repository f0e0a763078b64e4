#include "framing/FramingStageLayout.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

ResolvedFramingCrop centreCrop()
{
    return ResolvedFramingCrop{FramingCropSpec::shape(BubbleShape::circle), QRectF(0.25, 0.25, 0.5, 0.5), 16.0 / 9.0,
        ResolvedFramingCrop::Mask::ellipse(), {}};
}

void expectRect(const QRectF& actual, const QRectF& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-9);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-9);
}

} // namespace

TEST(FramingStageLayoutTest, PlacesThePictureAndTheCropForEachView)
{
    const QSizeF hd(1920, 1080);
    struct Row {
        const char* name;
        QSizeF size;
        QSizeF camera;
        bool withCrop;
        bool sensor;
        QRectF stage;
        QRectF camera_;
        std::optional<QRectF> cropRect;
    };
    const Row rows[] = {
        {"sensor view fits the picture", {800, 600}, hd, false, true, {0, 75, 800, 450}, {0, 75, 800, 450}, std::nullopt},
        {"crop view lets the picture reach past the stage", {800, 600}, hd, true, false, {0, 75, 800, 450},
            {-400, -150, 1600, 900}, QRectF(0, 75, 800, 450)},
        {"sensor view outlines the crop inside the picture", {800, 600}, hd, true, true, {0, 75, 800, 450},
            {0, 75, 800, 450}, QRectF(200, 187.5, 400, 225)},
        {"a tall offer centres a wide picture", {400, 900}, hd, false, true, {0, 337.5, 400, 225}, {0, 337.5, 400, 225},
            std::nullopt},
        {"a wide offer centres a tall picture", {900, 400}, {1080, 1920}, false, true, {337.5, 0, 225, 400},
            {337.5, 0, 225, 400}, std::nullopt},
        {"a zero camera size is taken as 16:9", {800, 600}, {0, 0}, false, false, {0, 75, 800, 450}, {0, 75, 800, 450},
            std::nullopt},
        {"a camera side of zero is taken as 16:9", {800, 600}, {1920, 0}, false, true, {0, 75, 800, 450},
            {0, 75, 800, 450}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto crop = row.withCrop ? std::optional(centreCrop()) : std::nullopt;
        const FramingStageLayout layout(row.size, row.camera, crop, row.sensor);
        expectRect(layout.stage, row.stage);
        expectRect(layout.camera, row.camera_);
        ASSERT_EQ(layout.cropRect.has_value(), row.cropRect.has_value());
        if (row.cropRect)
            expectRect(*layout.cropRect, *row.cropRect);
    }
}

TEST(FramingStageLayoutTest, BandLabelsNeedRoomAndGrowOnWideGuides)
{
    const struct {
        double width;
        std::optional<int> size;
    } rows[] = {{150, std::nullopt}, {160, std::nullopt}, {200, 9}, {360, 9}, {400, 11}};
    for (const auto& row : rows)
        EXPECT_EQ(FramingStageLayout::labelSize(row.width), row.size) << row.width;
}

TEST(FramingStageLayoutTest, EyeLineFollowsTheEyesOrAThirdOfTheFace)
{
    // The whole 1920×1080 picture at 800×450, so a normalised unit is 800 by 450 points.
    const FramingStageLayout layout({800, 600}, {1920, 1080}, std::nullopt, true);
    FaceMeasurement face;
    face.face = QRectF(0.4, 0.2, 0.2, 0.4);

    // Without eye points: a third down the face, a quarter of its width in from each side.
    const auto [left, right] = layout.eyeDots(face);
    EXPECT_NEAR(left.x(), (0.4 + 0.05) * 800, 1e-9);
    EXPECT_NEAR(right.x(), (0.6 - 0.05) * 800, 1e-9);
    EXPECT_NEAR(left.y(), 75 + (0.2 + 0.33 * 0.4) * 450, 1e-9);
    EXPECT_DOUBLE_EQ(left.y(), right.y());
    // The line reaches 0.6 of the dot distance (80 points) beyond each dot.
    const QLineF line = layout.eyeLine(face);
    EXPECT_NEAR(line.x1(), 360 - 48, 1e-9);
    EXPECT_NEAR(line.x2(), 440 + 48, 1e-9);
    EXPECT_DOUBLE_EQ(line.y1(), left.y());

    // Measured eyes win, tilted lines stay tilted.
    face.eyes = std::make_pair(QPointF(0.45, 0.30), QPointF(0.55, 0.32));
    const QLineF measured = layout.eyeLine(face);
    EXPECT_NEAR(measured.x1(), 0.45 * 800 - 0.6 * 80, 1e-9);
    EXPECT_NEAR(measured.y1(), 75 + 0.30 * 450 - 0.6 * 0.02 * 450, 1e-9);
    EXPECT_NEAR(measured.y2(), 75 + 0.32 * 450 + 0.6 * 0.02 * 450, 1e-9);
}
