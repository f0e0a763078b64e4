#include "views/framing/FramingStage.h"
#include "views/framing/LivePreviewView.h"

#include <QPixmap>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Crops over a 1920×1080 picture shown whole at 800×450 (stage 800×600, picture from y = 75).
ResolvedFramingCrop crop(const FramingCropSpec& spec, const QRectF& region, ResolvedFramingCrop::Mask mask)
{
    FramingTarget target{{0.30, 0.40}, {0.3, 0.5}, 0.1, {0.05, 0.15}};
    return ResolvedFramingCrop{spec, region, 16.0 / 9.0 * region.width() / region.height(), mask, target};
}

const ResolvedFramingCrop selectedRect
    = crop(FramingCropSpec::studio(FaceLayout::bottomRight, StudioBackground::linen, LayoutState::screen),
        QRectF(0.30, 0.20, 0.40, 0.60), ResolvedFramingCrop::Mask::rect());
const ResolvedFramingCrop otherRect
    = crop(FramingCropSpec::studio(FaceLayout::bottomRight, StudioBackground::linen, LayoutState::split),
        QRectF(0.02, 0.05, 0.22, 0.50), ResolvedFramingCrop::Mask::rect());
const ResolvedFramingCrop circle
    = crop(FramingCropSpec::shape(BubbleShape::circle), QRectF(0.25, 0.25, 0.5, 0.5), ResolvedFramingCrop::Mask::ellipse());

// A flat mid-grey camera picture: darkening, outlines and masks stand out from it by brightness alone.
QImage greyStill()
{
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(100, 100, 100));
    return image;
}

QImage grabStage(FramingStage::Model model)
{
    FramingStage stage;
    stage.resize(800, 600);
    stage.setModel(std::move(model));
    return stage.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int grey(const QImage& image, double x, double y) { return qGray(image.pixel(static_cast<int>(x), static_cast<int>(y))); }

FramingStage::Model sensorModel()
{
    FramingStage::Model model;
    model.content = FramingStageContent::still(greyStill());
    model.cameraSize = QSizeF(1920, 1080);
    model.crop = selectedRect;
    model.allCrops = {selectedRect, otherRect};
    model.sensor = true;
    return model;
}

} // namespace

TEST(FramingStagePixelTest, SensorViewDarkensAllButTheSelectedCrop)
{
    const QImage image = grabStage(sensorModel());
    // Selected crop: x 240...560, y 165...435. Inside (clear of grid and bands) the picture is as it is.
    EXPECT_NEAR(grey(image, 300, 400), 100, 4);
    // Outside it, in the picture and beside it, darkened by 0.55.
    EXPECT_NEAR(grey(image, 700, 400), 45, 4);
    EXPECT_NEAR(grey(image, 400, 470), 45, 4);
    // Beyond the picture (the letterbox) the stage's own fill is darkened too.
    EXPECT_LT(grey(image, 400, 20), 12);
}

TEST(FramingStagePixelTest, OtherCropsAreDashedAndNamedAndTheSelectedOneIsSolid)
{
    const QImage image = grabStage(sensorModel());
    // The selected crop's left edge at x = 240, 2 points wide: bright all the way down.
    int solid = 0;
    for (int y = 200; y < 400; ++y)
        solid += std::max(grey(image, 239, y), grey(image, 240, y)) > 180 ? 1 : 0;
    EXPECT_EQ(solid, 200);
    EXPECT_LT(grey(image, 243, 400), 140); // no wider than that
    EXPECT_LT(grey(image, 236, 400), 80);

    // The other crop's top edge at y = 97.5 (x 16...192): dashes of 5 on, 5 off.
    int runs = 0;
    bool on = false;
    for (int x = 20; x < 180; ++x) {
        const bool bright = std::max(grey(image, x, 97), grey(image, x, 98)) > 70;
        runs += bright && !on ? 1 : 0;
        on = bright;
    }
    EXPECT_GE(runs, 14);
    EXPECT_LE(runs, 17);
    // Its name at its top-left corner, 8 in and 6 down.
    int lettering = 0;
    for (int y = 104; y < 118; ++y)
        for (int x = 24; x < 60; ++x)
            lettering += grey(image, x, y) > 90 ? 1 : 0;
    EXPECT_GT(lettering, 8);
}

TEST(FramingStagePixelTest, CropViewShowsThePictureOnlyInsideTheMask)
{
    FramingStage::Model model;
    model.content = FramingStageContent::still(greyStill());
    model.cameraSize = QSizeF(1920, 1080);
    model.crop = circle;
    model.allCrops = {circle};
    model.guides = false;
    QImage image = grabStage(model);
    // The circle fills the stage (0, 75, 800, 450) as an ellipse: its corners show the stage's fill.
    EXPECT_NEAR(grey(image, 10, 85), 18, 3);
    EXPECT_NEAR(grey(image, 790, 515), 18, 3);
    EXPECT_NEAR(grey(image, 400, 300), 100, 3);
    EXPECT_NEAR(grey(image, 20, 300), 100, 3); // the ellipse reaches the stage's side at mid-height

    // A card mask: only the card inside the crop shows.
    const ResolvedFramingCrop card = crop(FramingCropSpec::studio(FaceLayout::bottomRight, StudioBackground::linen, LayoutState::face),
        QRectF(0.25, 0.25, 0.5, 0.5), ResolvedFramingCrop::Mask::cardIn(QRectF(0.2, 0.1, 0.5, 0.8), 0.05));
    model.crop = card;
    model.allCrops = {card};
    image = grabStage(model);
    // Card: x from 0.2 × 450 = 90 to 315, y from 75 + 45 to 75 + 405.
    EXPECT_NEAR(grey(image, 200, 300), 100, 3);
    EXPECT_NEAR(grey(image, 50, 300), 18, 3);
    EXPECT_NEAR(grey(image, 500, 300), 18, 3);
}

TEST(FramingStagePixelTest, TheEyeLineTakesTheVerdictsColourAndStaysInTheStage)
{
    FramingStage::Model model = sensorModel();
    model.status = FramingStatus::fix;
    FaceMeasurement face;
    face.face = QRectF(0.42, 0.3, 0.16, 0.3);
    face.eyes = std::make_pair(QPointF(0.46, 0.4), QPointF(0.54, 0.4));
    model.face = face;
    const QImage image = grabStage(model);
    // Eyes at x 368 and 432, y 75 + 180 = 255; the line reaches 0.6 × 64 beyond each.
    const QColor middle = image.pixelColor(400, 255);
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.green(), 100);
    EXPECT_GT(image.pixelColor(335, 255).red(), 200);
    EXPECT_LT(image.pixelColor(300, 255).red(), 150);
}

TEST(FramingStagePixelTest, LivePictureSitsAtTheCameraRectangleBehindTheMask)
{
    auto frame = std::make_shared<PixelBuffer>(192, 108);
    for (int y = 0; y < frame->height(); ++y)
        for (int x = 0; x < frame->width(); ++x)
            std::copy_n(std::begin({uint8_t{100}, uint8_t{100}, uint8_t{100}, uint8_t{255}}), 4, frame->row(y) + x * 4);
    const auto source = std::make_shared<LivePreviewSource>(LivePreviewSource{std::make_shared<CameraFrameTap>(), false});
    source->tap->store(frame);

    FramingStage stage;
    stage.resize(800, 600);
    FramingStage::Model model;
    model.content = FramingStageContent::live(source);
    model.cameraSize = QSizeF(1920, 1080);
    model.crop = circle;
    model.allCrops = {circle};
    model.guides = false;
    stage.setModel(model);
    ASSERT_NE(stage.livePreview(), nullptr);
    EXPECT_EQ(stage.livePreview()->frameRect(), QRectF(-400, -150, 1600, 900));
    const QImage image = stage.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_NEAR(grey(image, 10, 85), 18, 3);
    EXPECT_NEAR(grey(image, 400, 300), 100, 3);

    // The same source again only moves the picture; the whole-camera view shows it fitted to the stage.
    model.sensor = true;
    stage.setModel(model);
    EXPECT_EQ(stage.livePreview()->source(), source);
    EXPECT_EQ(stage.livePreview()->frameRect(), QRectF(0, 75, 800, 450));
    // Without a rectangle the picture is fitted into the view.
    stage.livePreview()->set(source, QRectF(), QPainterPath());
    EXPECT_EQ(stage.livePreview()->frameRect(), QRectF(0, 75, 800, 450));
}
