#include "framing/FaceMeasurement.h"
#include "shorts/ShortStageLayout.h"

#include <gtest/gtest.h>

namespace {

using Position = ShortFraming::Position;

void expectRect(const QRectF& actual, const QRectF& expected, const char* what)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-6) << what;
    EXPECT_NEAR(actual.y(), expected.y(), 1e-6) << what;
    EXPECT_NEAR(actual.width(), expected.width(), 1e-6) << what;
    EXPECT_NEAR(actual.height(), expected.height(), 1e-6) << what;
}

TEST(ShortStageLayoutTest, PlacesPictureAndCropForEveryCameraAndView)
{
    struct Case {
        const char* name;
        QSizeF frame;
        bool viewerView;
        double scale;
        QRectF visible, camera, crop;
    };
    const double viewerScale = 380.0 / 1080;
    const double placeholderScale = 380.0 / 1440;
    const std::vector<Case> cases {
        {"landscape 1080p, whole camera", {1920, 1080}, false, 0.3125, {10, 31.25, 600, 337.5}, {10, 31.25, 600, 337.5},
            {215, 31.25, 190, 337.5}},
        {"landscape 1080p, viewer view", {1920, 1080}, true, viewerScale, {310 - 304 * viewerScale, 10, 608 * viewerScale, 380},
            {310 - 304 * viewerScale - 656 * viewerScale, 10, 1920 * viewerScale, 380}, {310 - 304 * viewerScale, 10, 608 * viewerScale, 380}},
        {"portrait camera: the crop is the whole picture", {1080, 1920}, false, 380.0 / 1920,
            {310 - 540 * 380.0 / 1920, 10, 1080 * 380.0 / 1920, 380}, {310 - 540 * 380.0 / 1920, 10, 1080 * 380.0 / 1920, 380},
            {310 - 540 * 380.0 / 1920, 10, 1080 * 380.0 / 1920, 380}},
        {"camera not known: placeholder picture, zero crop at its corner", {0, 0}, false, placeholderScale,
            {310 - 960 * placeholderScale, 10, 1920 * placeholderScale, 380}, {310 - 960 * placeholderScale, 10, 1920 * placeholderScale, 380},
            {310 - 960 * placeholderScale, 10, 0, 0}},
    };
    for (const Case& c : cases) {
        const ShortStageLayout layout = ShortStageLayout::compute({620, 400}, c.frame, Position {}, c.viewerView);
        EXPECT_NEAR(layout.scale, c.scale, 1e-9) << c.name;
        expectRect(layout.visible, c.visible, c.name);
        expectRect(layout.camera, c.camera, c.name);
        expectRect(layout.crop, c.crop, c.name);
    }
}

TEST(ShortStageLayoutTest, DragMovesTheCropOneToOneAndOnlyWhereThereIsTravel)
{
    struct Case {
        const char* name;
        QSizeF frame;
        Position start;
        QPointF translation;
        Position expected;
    };
    const std::vector<Case> cases {
        {"41 points right of the centre: 131.2 of 1312 pixels", {1920, 1080}, {0.5, 0.5}, {41, 0}, {0.6, 0.5}},
        {"no vertical travel on a landscape camera", {1920, 1080}, {0.5, 0.5}, {0, -120}, {0.5, 0.5}},
        {"past the left edge stays flush", {1920, 1080}, {0.1, 0.5}, {-400, 0}, {0, 0.5}},
        {"past the right edge stays flush", {1920, 1080}, {0.9, 0.5}, {400, 0}, {1, 0.5}},
        {"portrait camera: nothing to move", {1080, 1920}, {0.5, 0.5}, {80, 80}, {0.5, 0.5}},
        {"camera not known", {0, 0}, {0.5, 0.5}, {80, 0}, {0.5, 0.5}},
        {"tall camera slides only down: 84 of 420 pixels", {1080, 2340}, {0.5, 0.5}, {50, 26.25}, {0.5, 0.7}},
    };
    for (const Case& c : cases) {
        const Position moved = ShortStageLayout::dragged(c.frame, c.start, c.translation, 0.3125);
        EXPECT_NEAR(moved.x, c.expected.x, 1e-9) << c.name;
        EXPECT_NEAR(moved.y, c.expected.y, 1e-9) << c.name;
    }
    EXPECT_EQ(ShortStageLayout::dragged({1920, 1080}, {0.5, 0.5}, {41, 0}, 0), (Position {0.5, 0.5})) << "no scale, no move";
}

TEST(ShortStageLayoutTest, LabelAndGuideThresholdsFollowTheCropSize)
{
    struct Case {
        double cropWidth, cropHeight;
        double labelSize;
        bool guide;
        double eyesHere;
    };
    const std::vector<Case> cases {
        {150, 266, 0, true, 9}, {151, 268, 8, true, 9}, {300, 533, 8, true, 9}, {301, 535, 10, true, 9},
        {340, 604, 10, true, 9}, {341, 606, 10, true, 11}, {140, 248, 0, true, 0}, {41, 40, 0, false, 0}, {40, 71, 0, false, 0},
    };
    for (const Case& c : cases) {
        ShortStageLayout layout;
        layout.crop = QRectF(5, 5, c.cropWidth, c.cropHeight);
        EXPECT_EQ(layout.zoneLabelSize(), c.labelSize) << c.cropWidth;
        EXPECT_EQ(layout.showsGuide(), c.guide) << c.cropWidth << "x" << c.cropHeight;
        EXPECT_EQ(layout.eyesHereSize(), c.eyesHere) << c.cropWidth;
    }
}

TEST(ShortStageLayoutTest, ZonesBandAndOvalScaleWithTheCrop)
{
    ShortStageLayout layout;
    layout.crop = QRectF(100, 20, 216, 384); // 0.2 points per output pixel
    expectRect(layout.zoneRect(QRectF(880, 290, 200, 1050)), {276, 78, 40, 210}, "buttons");
    expectRect(layout.eyeBand(), {100, 20 + 0.33 * 384, 216, 0.08 * 384}, "eye band");
    expectRect(layout.faceOval(), {208 - 0.76 * 0.23 * 384 / 2, 20 + 0.2941 * 384, 0.76 * 0.23 * 384, 0.23 * 384}, "face oval");
    layout.crop = QRectF(40, 40, 0, 0);
    expectRect(layout.zoneRect(QRectF(0, 1340, 1080, 580)), {40, 40, 0, 0}, "a zero crop collapses every zone");
}

TEST(ShortStageLayoutTest, EyeLineFollowsTheEyesAndFlipsWithTheMirroring)
{
    ShortStageLayout layout;
    layout.camera = QRectF(10, 10, 100, 100);
    FaceMeasurement face;
    face.face = QRectF(0.3, 0.3, 0.4, 0.4);
    face.eyes = std::make_pair(QPointF(0.4, 0.5), QPointF(0.6, 0.5));
    struct Case {
        const char* name;
        bool withEyes;
        bool flipped;
        QPointF left, right, from, to;
    };
    const std::vector<Case> cases {
        {"measured eyes", true, false, {50, 60}, {70, 60}, {38, 60}, {82, 60}},
        {"measured eyes, picture mirrored the other way", true, true, {70, 60}, {50, 60}, {82, 60}, {38, 60}},
        {"no eye points: a third down the face box, a quarter in", false, false, {50, 53.2}, {70, 53.2}, {38, 53.2}, {82, 53.2}},
    };
    for (const Case& c : cases) {
        FaceMeasurement measured = face;
        if (!c.withEyes)
            measured.eyes.reset();
        const ShortStageLayout::EyeLine line = layout.eyeLine(measured, c.flipped);
        for (const auto& [actual, expected] : {std::pair {line.left, c.left}, {line.right, c.right}, {line.from, c.from}, {line.to, c.to}}) {
            EXPECT_NEAR(actual.x(), expected.x(), 1e-9) << c.name;
            EXPECT_NEAR(actual.y(), expected.y(), 1e-9) << c.name;
        }
    }
}

} // namespace
