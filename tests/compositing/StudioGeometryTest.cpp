#include "compositing/FaceCardFraming.h"
#include "compositing/StudioGeometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr double tolerance = 0.01;
const QSizeF fullHd(1920, 1080);

void expectRect(const QRectF& actual, const QRectF& expected, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.width(), expected.width(), tolerance);
    EXPECT_NEAR(actual.height(), expected.height(), tolerance);
}

void expectFrame(const StudioLayoutFrame& actual, const StudioLayoutFrame& expected)
{
    expectRect(actual.windowRect, expected.windowRect, "window");
    expectRect(actual.cardRect, expected.cardRect, "card");
    EXPECT_NEAR(actual.windowRadius, expected.windowRadius, tolerance);
    EXPECT_NEAR(actual.cardRadius, expected.cardRadius, tolerance);
    EXPECT_NEAR(actual.cardRim, expected.cardRim, tolerance);
}

TEST(StudioGeometryTest, RestGeometryOfEveryLookAtDesignSize)
{
    const struct {
        const char* name;
        FaceLayout face;
        StudioBackground background;
        StudioLayoutFrame frame;
        QRectF safeArea;
    } cases[] = {
        {"bottom-right", FaceLayout::bottomRight, StudioBackground::linen, {{170, 144.25, 1500, 843.75}, 24,
            {1490, 60, 360, 330}, 30, 5}, {0, 0, 1920, 1080}},
        {"tall left", FaceLayout::tallLeft, StudioBackground::blushMesh, {{348, 101.5, 1560, 877.5}, 32,
            {14, 240, 318, 600}, 30, 4}, {348, 101.5, 1560, 877.5}},
        {"dark bottom-right", FaceLayout::bottomRight, StudioBackground::darkRoom, {{76.8, -5.4, 1766.4, 993.6}, 21.6,
            {1575.48, 36.72, 307.8, 307.8}, 61.56, 0}, {0, 0, 1920, 1080}},
        {"dark tall left", FaceLayout::tallLeft, StudioBackground::darkRoom, {{435.84, -10.8, 1737.6, 977.4}, 21.6,
            {-48.6, 275.4, 442.2, 691.2}, 32.4, 0}, {435.84, 0, 1484.16, 1080}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StudioGeometry g(fullHd, 16.0 / 9.0, c.face, c.background);
        expectFrame({g.windowRect, g.windowRadius, g.cardRect, g.cardRadius, g.cardRim}, c.frame);
        expectRect(g.safeArea, c.safeArea, "safe area");
        EXPECT_DOUBLE_EQ(g.edgeWidth, 1.6);
    }
}

TEST(StudioGeometryTest, NonPositiveScreenAspectTakesTheFramesAspect)
{
    const QSizeF square(1000, 1000);
    for (double aspect : {0.0, -2.0}) {
        const StudioGeometry g(square, aspect, FaceLayout::bottomRight, StudioBackground::clay);
        EXPECT_NEAR(g.windowRect.width(), g.windowRect.height(), 1e-9) << aspect;
    }
    const StudioGeometry wide(fullHd, 0, FaceLayout::bottomRight, StudioBackground::clay);
    EXPECT_NEAR(wide.windowRect.height(), 843.75, 1e-9);
}

TEST(StudioGeometryTest, LayoutFramesOfBothFaceLayouts)
{
    const struct {
        const char* name;
        FaceLayout face;
        LayoutState state;
        StudioLayoutFrame frame;
    } cases[] = {
        {"bottom-right FACE", FaceLayout::bottomRight, LayoutState::face, {{585, 329.06, 750, 421.88}, 14.4, {56, 56, 1808, 968}, 38, 5}},
        {"bottom-right SPLIT", FaceLayout::bottomRight, LayoutState::split, {{40, 286.88, 900, 506.25}, 24, {980, 40, 900, 1000}, 34, 5}},
        {"bottom-right FOCUS", FaceLayout::bottomRight, LayoutState::focus, {{60.44, 34, 1799.11, 1012}, 28, {1618, 22, 280, 256}, 26, 4}},
        {"bottom-right SCREEN", FaceLayout::bottomRight, LayoutState::screen, {{170, 144.25, 1500, 843.75}, 24, {1490, 60, 360, 330}, 30, 5}},
        {"tall left FACE", FaceLayout::tallLeft, LayoutState::face, {{570, 320.63, 780, 438.75}, 19.2, {56, 56, 1808, 968}, 38, 5}},
        {"tall left SPLIT", FaceLayout::tallLeft, LayoutState::split, {{980, 286.88, 900, 506.25}, 24, {40, 40, 900, 1000}, 34, 5}},
        {"tall left FOCUS", FaceLayout::tallLeft, LayoutState::focus, {{60.44, 34, 1799.11, 1012}, 28, {22, 22, 190, 330}, 26, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectFrame(StudioGeometry(fullHd, 16.0 / 9.0, c.face, StudioBackground::linen).layoutFrame(c.state), c.frame);
    }
}

TEST(StudioGeometryTest, OverviewIsTheWindowOrFitsARegionIntoItsVisiblePart)
{
    for (StudioBackground background : {StudioBackground::linen, StudioBackground::darkRoom}) {
        const StudioGeometry g(fullHd, 16.0 / 9.0, FaceLayout::tallLeft, background);
        EXPECT_EQ(g.overviewRect(QRectF(0, 0, 1, 1), 16.0 / 9.0), g.windowRect);
        EXPECT_EQ(g.overviewRect(QRectF(0.2, 0.2, 0, 0.5), 16.0 / 9.0), g.windowRect);
        EXPECT_EQ(g.overviewRect(QRectF(0.2, 0.2, 0.5, -0.1), 16.0 / 9.0), g.windowRect);
        const QRectF other(10, 20, 300, 200);
        EXPECT_EQ(g.overviewRect(QRectF(0, 0, 1, 1), 16.0 / 9.0, other), other);
    }
    const StudioGeometry light(fullHd, 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::linen);
    // A region of half the screen's width and full height: aspect 8:9, height-limited, centred.
    expectRect(light.overviewRect(QRectF(0, 0, 0.5, 1), 16.0 / 9.0), {545, 144.25, 750, 843.75}, "tall region");
    // A wide strip: width-limited, centred vertically.
    expectRect(light.overviewRect(QRectF(0, 0.25, 1, 0.25), 16.0 / 9.0), {170, 460.66, 1500, 210.94}, "strip");

    // Dark room: the window is cut at the frame, its bottom raised to 0.05 H, and the region sits at 35 %.
    const StudioGeometry dark(fullHd, 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::darkRoom);
    const double visibleBottom = 54; // 0.05 × 1080
    const double visibleTop = 1080 - 0.085 * 1080;
    const double visibleHeight = visibleTop - visibleBottom;
    const double width = visibleHeight * 8.0 / 9.0;
    expectRect(dark.overviewRect(QRectF(0, 0, 0.5, 1), 16.0 / 9.0),
        {960 - width / 2, visibleBottom, width, visibleHeight}, "dark tall region");
    const QRectF strip = dark.overviewRect(QRectF(0, 0.25, 1, 0.25), 16.0 / 9.0);
    const double stripHeight = 1766.4 / (16.0 / 9.0 * 4);
    expectRect(strip, {76.8, visibleTop - 0.35 * (visibleHeight - stripHeight) - stripHeight, 1766.4, stripHeight}, "dark strip");
}

TEST(StudioGeometryTest, CardFramingCoversTheCardAndKeepsHeadroom)
{
    const StudioGeometry g(fullHd, 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::linen);
    const auto framing = FaceCardFraming::make(g, QSizeF(1920, 1080));
    ASSERT_TRUE(framing);
    EXPECT_NEAR(framing->scale, 330.0 / 1080.0, 1e-9);
    EXPECT_NEAR(framing->cameraRect.width(), 586.67, tolerance);
    EXPECT_NEAR(framing->cameraRect.height(), 330, 1e-9);
    EXPECT_NEAR(framing->cameraRect.x() + framing->cameraRect.width() / 2, 1670, 1e-9);
    EXPECT_EQ(framing->visibleRect, g.cardRect);
    EXPECT_EQ(framing->cardRect, g.cardRect);
    EXPECT_DOUBLE_EQ(framing->cardRadius, 30);

    // A portrait camera overhangs vertically: the picture drops by 6 % of the overhang.
    const auto portrait = FaceCardFraming::make(g, QSizeF(1080, 1920));
    ASSERT_TRUE(portrait);
    const double height = 1920 * (360.0 / 1080.0);
    EXPECT_NEAR(portrait->cameraRect.y() + height / 2, 225 - 0.06 * (height - 330), 1e-9);
}

TEST(StudioGeometryTest, CardFramingRefusesEmptyPicturesAndCards)
{
    const StudioGeometry g(fullHd, 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::linen);
    EXPECT_FALSE(FaceCardFraming::make(g, QSizeF(0, 0)));
    EXPECT_FALSE(FaceCardFraming::make(g, QSizeF(1920, 0)));
    EXPECT_FALSE(FaceCardFraming::make(g, QSizeF(-1, 1080)));
    StudioGeometry flat = g;
    flat.cardRect = QRectF(10, 10, 0, 100);
    EXPECT_FALSE(FaceCardFraming::make(flat, QSizeF(1920, 1080)));
    // A card wholly outside the frame counts itself as visible.
    StudioGeometry away = g;
    away.cardRect = QRectF(-500, 10, 100, 100);
    const auto framing = FaceCardFraming::make(away, QSizeF(100, 100));
    ASSERT_TRUE(framing);
    EXPECT_EQ(framing->visibleRect, away.cardRect);
}

} // namespace
