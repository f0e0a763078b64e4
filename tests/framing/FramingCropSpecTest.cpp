#include "framing/FramingCropSpec.h"
#include "framing/FramingIssue.h"
#include "framing/ResolvedFramingCrop.h"
#include "shorts/ShortFraming.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace {

void expectRect(const QRectF& actual, double x, double y, double w, double h, double tolerance = 1e-9)
{
    EXPECT_NEAR(actual.x(), x, tolerance);
    EXPECT_NEAR(actual.y(), y, tolerance);
    EXPECT_NEAR(actual.width(), w, tolerance);
    EXPECT_NEAR(actual.height(), h, tolerance);
}

TEST(FramingCropSpecTest, SizesWithoutAreaResolveNothing)
{
    for (const QSizeF& size : {QSizeF(0, 720), QSizeF(1280, 0), QSizeF(-5, 720), QSizeF(qQNaN(), 720)}) {
        EXPECT_FALSE(FramingCropSpec::fullFrame().resolve(size));
        EXPECT_FALSE(FramingCropSpec::shape(BubbleShape::circle).resolve(size));
        EXPECT_FALSE(FramingCropSpec::short_().resolve(size));
    }
}

TEST(FramingCropSpecTest, BubbleFullFrameAndShortRegionsAspectsAndTargets)
{
    auto crop = FramingCropSpec::shape(BubbleShape::square).resolve(QSizeF(1920, 1080));
    ASSERT_TRUE(crop);
    expectRect(crop->region, 0.21875, 0, 0.5625, 1);
    EXPECT_EQ(crop->aspect, 1.0);
    EXPECT_EQ(crop->mask, ResolvedFramingCrop::Mask::rounded(0.22));
    EXPECT_EQ(crop->name(), "Rounded");

    crop = FramingCropSpec::shape(BubbleShape::circle).resolve(QSizeF(1080, 1920));
    ASSERT_TRUE(crop);
    expectRect(crop->region, 0, 0.21875, 1, 0.5625);
    EXPECT_EQ(crop->mask, ResolvedFramingCrop::Mask::ellipse());
    EXPECT_EQ(crop->name(), "Circle");

    const auto full = FramingCropSpec::fullFrame().resolve(QSizeF(1280, 720));
    ASSERT_TRUE(full);
    expectRect(full->region, 0, 0, 1, 1);
    EXPECT_NEAR(full->aspect, 1.7777777, 1e-6);
    EXPECT_EQ(full->mask, ResolvedFramingCrop::Mask::rect());
    EXPECT_EQ(full->target, (FramingTarget{{0.29, 0.38}, {0.17, 0.25}, 0.10, {0.10, 0.22}}));
    EXPECT_EQ(full->name(), "Full frame");

    const auto shortCrop = FramingCropSpec::short_().resolve(QSizeF(1920, 1080));
    ASSERT_TRUE(shortCrop);
    expectRect(shortCrop->region, 656.0 / 1920, 0, 608.0 / 1920, 1);
    EXPECT_EQ(shortCrop->aspect, 0.5625);
    EXPECT_EQ(shortCrop->target, (FramingTarget{{0.33, 0.41}, {0.18, 0.28}, 0.12, {0.10, 0.27}}));
    EXPECT_EQ(shortCrop->name(), "Short frame");

    const auto bubble = FramingCropSpec::shape(BubbleShape::circle).resolve(QSizeF(640, 480));
    EXPECT_EQ(bubble->target, (FramingTarget{{0.32, 0.45}, {0.32, 0.50}, 0.08, {0.04, 0.16}}));

    // The short needs a 2-pixel crop.
    EXPECT_FALSE(FramingCropSpec::short_().resolve(QSizeF(1, 1000)));
    EXPECT_FALSE(FramingCropSpec::short_().resolve(QSizeF(1000, 1.5)));
}

// Cards placed by hand on the 1920x1080 canvas (y up).
TEST(FramingCropSpecTest, StudioCardPlacementAndAspectBands)
{
    const auto cropSpec = FramingCropSpec::studio(FaceLayout::bottomRight, StudioBackground::linen, LayoutState::screen);
    // A 400x300 card fully on the canvas over a 1280x720 camera: scale 0.41666 covers the height.
    auto crop = cropSpec.resolveCard(QRectF(1400, 100, 400, 300), 40, QSizeF(1280, 720));
    ASSERT_TRUE(crop);
    // Scaled picture 533.33 x 300, centred on the card: 66.67 px cut each side.
    expectRect(crop->region, 66.6666667 / 533.3333333, 0, 400 / 533.3333333, 1, 1e-6);
    EXPECT_NEAR(crop->aspect, 400.0 / 300.0, 1e-12);
    EXPECT_EQ(crop->mask.kind, ResolvedFramingCrop::Mask::Kind::card);
    expectRect(crop->mask.card, 0, 0, 400.0 / 300.0, 1, 1e-12);
    EXPECT_NEAR(crop->mask.radius, 40.0 / 300.0, 1e-12);
    EXPECT_EQ(crop->target, (FramingTarget{{0.28, 0.41}, {0.27, 0.44}, 0.12, {0.03, 0.15}}));

    // A card hanging off the right edge: the visible part decides region, aspect and mask, and the picture
    // slides toward the canvas.
    crop = cropSpec.resolveCard(QRectF(1720, 100, 400, 300), 0, QSizeF(1280, 720));
    ASSERT_TRUE(crop);
    EXPECT_NEAR(crop->aspect, 200.0 / 300.0, 1e-12);
    // Picture centre x = 1920 + clamp(1820 - 1920, -66.67, 66.67) = 1853.33; image minX = 1586.67.
    EXPECT_NEAR(crop->region.x(), (1720 - 1586.6666667) / 533.3333333, 1e-6);
    EXPECT_NEAR(crop->region.width(), 200 / 533.3333333, 1e-6);
    EXPECT_EQ(crop->target, (FramingTarget{{0.28, 0.41}, {0.28, 0.46}, 0.14, {0.03, 0.15}}));

    // A wide card taller than needed: the picture sits 6 % of its overflow low.
    crop = cropSpec.resolveCard(QRectF(0, 0, 1200, 300), 0, QSizeF(640, 480));
    ASSERT_TRUE(crop);
    // scale 1.875 -> 1200 x 900; centre y = 150 - 0.06 * 600 = 114; top edge 564; visible top 300.
    EXPECT_NEAR(crop->region.y(), (564.0 - 300.0) / 900.0, 1e-9);
    EXPECT_NEAR(crop->region.height(), 300.0 / 900.0, 1e-9);
    EXPECT_EQ(crop->target, (FramingTarget{{0.28, 0.41}, {0.26, 0.40}, 0.10, {0.03, 0.16}}));

    // Exactly 0.8 and exactly 1.4 take the middle band.
    EXPECT_EQ(cropSpec.resolveCard(QRectF(100, 100, 240, 300), 0, QSizeF(640, 480))->target.faceHeight, (FramingBand{0.27, 0.44}));
    EXPECT_EQ(cropSpec.resolveCard(QRectF(100, 100, 420, 300), 0, QSizeF(640, 480))->target.faceHeight, (FramingBand{0.27, 0.44}));

    EXPECT_FALSE(cropSpec.resolveCard(QRectF(100, 100, 0, 300), 0, QSizeF(640, 480)));
    EXPECT_FALSE(cropSpec.resolveCard(QRectF(100, 100, 300, 300), 0, QSizeF(0, 480)));
}

TEST(FramingCropSpecTest, StudioCropsNamesAndHashing)
{
    const auto one = FramingCropSpec::studioCrops(FaceLayout::tallLeft, StudioBackground::clay, false);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].state(), LayoutState::screen);
    const auto four = FramingCropSpec::studioCrops(FaceLayout::tallLeft, StudioBackground::clay, true);
    ASSERT_EQ(four.size(), 4u);
    const LayoutState order[] = {LayoutState::screen, LayoutState::split, LayoutState::face, LayoutState::focus};
    const char* names[] = {"Card", "Side", "Face", "Corner"};
    for (int index = 0; index < 4; ++index) {
        EXPECT_EQ(four[index].state(), order[index]);
        EXPECT_EQ(four[index].faceLayout(), FaceLayout::tallLeft);
        EXPECT_EQ(four[index].background(), StudioBackground::clay);
        ResolvedFramingCrop crop{four[index], {}, 1, {}, {}};
        EXPECT_EQ(crop.name(), names[index]);
    }
    // Specs are dictionary keys: equal specs collapse, every payload field tells specs apart.
    std::unordered_set<FramingCropSpec> keys(four.begin(), four.end());
    keys.insert(FramingCropSpec::studio(FaceLayout::tallLeft, StudioBackground::clay, LayoutState::focus));
    keys.insert(FramingCropSpec::studio(FaceLayout::bottomRight, StudioBackground::clay, LayoutState::focus));
    keys.insert(FramingCropSpec::studio(FaceLayout::tallLeft, StudioBackground::linen, LayoutState::focus));
    keys.insert(FramingCropSpec::shape(BubbleShape::circle));
    keys.insert(FramingCropSpec::shape(BubbleShape::square));
    keys.insert(FramingCropSpec::fullFrame());
    keys.insert(FramingCropSpec::fullFrame());
    keys.insert(FramingCropSpec::short_());
    EXPECT_EQ(keys.size(), 10u);
}

struct CropCase {
    double width, height, x, y;
    double cropX, cropY, cropWidth, cropHeight;
};

TEST(ShortFramingTest, CropRectTable)
{
    const CropCase cases[] = {
        {1920, 1080, 0.5, 0.5, 656, 0, 608, 1080},
        {1280, 720, 0.5, 0.5, 437, 0, 406, 720},
        {3840, 2160, 0.5, 0.5, 1312, 0, 1216, 2160},
        {640, 480, 0.5, 0.5, 185, 0, 270, 480},
        {1080, 1920, 0.5, 0.5, 0, 0, 1080, 1920},
        {1080, 2340, 0.5, 0.5, 0, 210, 1080, 1920},
        {1281, 721, 0.5, 0.5, 438, 1, 406, 720},
        {1920, 1080, 0, 0, 0, 0, 608, 1080},
        {1920, 1080, 1, 1, 1312, 0, 608, 1080},
        {1920, 1080, -0.3, 2, 0, 0, 608, 1080},
        {1, 1000, 0.5, 0.5, 0, 0, 0, 0},
        {1000, 1.9, 0.5, 0.5, 0, 0, 0, 0},
    };
    for (const CropCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.x << "," << c.y);
        const QRectF crop = ShortFraming::cropRect(QSizeF(c.width, c.height), {c.x, c.y});
        expectRect(crop, c.cropX, c.cropY, c.cropWidth, c.cropHeight);
    }
    expectRect(ShortFraming::cropRect(QSizeF(qQNaN(), 1080), {0.5, 0.5}), 0, 0, 0, 0);
    expectRect(ShortFraming::cropRect(QSizeF(1920, 1080), {qQNaN(), 0.5}), 0, 0, 608, 1080);
}

} // namespace
