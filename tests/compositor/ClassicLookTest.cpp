#include "CompositorFixture.h"

#include <cmath>
#include <memory>

using namespace CompositorTesting;

namespace {

ZoomTimeline heldZoom(QPointF centre, double scale)
{
    ZoomTimeline zoom;
    zoom.segments.push_back({0, 0.1, 5, 6, {{0, centre, scale}}, QStringLiteral("test")});
    zoom.maxScale = scale;
    return zoom;
}

PointerPath still(double x, double y)
{
    PointerPath path;
    path.xs.assign(600, x);
    path.ys.assign(600, y);
    return path;
}

bool tintedRed(const Pixel& p) { return p.red - p.blue > 10; }

int changedPixels(const PixelBuffer& buffer, const Pixel& expected)
{
    int changed = 0;
    for (int y = 0; y < buffer.height(); ++y)
        for (int x = 0; x < buffer.width(); ++x)
            changed += at(buffer, x, y).near(expected, 0) ? 0 : 1;
    return changed;
}

} // namespace

TEST_F(CompositorTest, ClassicRingsAppearAtTheClickAndZoomWithTheScreen)
{
    CompositorSettings settings = classicSettings();
    settings.clicks = {{1.0, 0.25, 0.8}};
    const QPointF centre(120, 216);
    // 0.2 s after the click: radius (0.35 + 0.65 · 4/9) · 46; the stroke's middle lies at 0.82 of it.
    const double strokeRadius = (0.35 + 0.65 * 0.2 / 0.45) * 46 * 209.92 / 256;
    EXPECT_FALSE(compositor.cacheState().hasRingImage);
    const PixelBuffer ringed = render(settings, 1.2, grayScreen);
    EXPECT_TRUE(tintedRed(at(ringed, centre.x() + strokeRadius, centre.y()))) << at(ringed, centre.x() + strokeRadius, centre.y());
    EXPECT_TRUE(tintedRed(at(ringed, centre.x(), centre.y() - strokeRadius)));
    EXPECT_TRUE(at(ringed, centre.x(), centre.y()).near(screenColor, 0));
    // The mirror image across the middle row stays clear: y grows upward.
    EXPECT_TRUE(at(ringed, centre.x() + strokeRadius, height - centre.y()).near(screenColor, 0));
    EXPECT_TRUE(compositor.cacheState().hasRingImage);

    EXPECT_EQ(changedPixels(render(settings, 1.46, grayScreen), screenColor), 0);
    EXPECT_EQ(changedPixels(render(settings, 0.99, grayScreen), screenColor), 0);
    CompositorSettings off = settings;
    off.showClickHighlight = false;
    EXPECT_EQ(changedPixels(render(off, 1.2, grayScreen), screenColor), 0);

    // Zoomed ×2 on the click: the ring is twice as large.
    settings.zoom = heldZoom({0.25, 0.8}, 2);
    const PixelBuffer zoomed = render(settings, 1.2, grayScreen);
    EXPECT_TRUE(tintedRed(at(zoomed, centre.x() + 2 * strokeRadius, centre.y())));
    EXPECT_TRUE(at(zoomed, centre.x() + strokeRadius, centre.y()).near(screenColor, 0));
}

TEST_F(CompositorTest, ClassicCursorHangsBelowItsTipAndLeavesTheFrameWithThePointer)
{
    CompositorSettings settings = classicSettings();
    settings.pointer = std::make_shared<const PointerPath>(still(0.5, 0.5));
    const PixelBuffer drawn = render(settings, 1, grayScreen);
    // The arrow points up-left from its tip at (240, 135): its body lies below and right of it.
    const Pixel body = at(drawn, 242, 129);
    EXPECT_GT(body.red, 150) << body;
    EXPECT_TRUE(at(drawn, 242, 141).near(screenColor, 3)) << at(drawn, 242, 141);
    EXPECT_TRUE(at(drawn, 236, 129).near(screenColor, 3));
    // The classic look, too, takes its sprites from one studio renderer.
    EXPECT_EQ(compositor.cacheState().studioRendererBuilds, 1);

    settings.pointer = std::make_shared<const PointerPath>(still(1.006, 0.5));
    EXPECT_EQ(changedPixels(render(settings, 1, grayScreen), screenColor), 0);

    // Under a ×2 zoom about the middle the tip moves away from the centre and the arrow grows by √2.
    settings.pointer = std::make_shared<const PointerPath>(still(0.6, 0.5));
    settings.zoom = heldZoom({0.5, 0.5}, 2);
    const PixelBuffer zoomed = render(settings, 1, grayScreen);
    EXPECT_GT(at(zoomed, 339, 127).red, 150);
    EXPECT_TRUE(at(zoomed, 291, 129).near(screenColor, 3));
    EXPECT_EQ(compositor.cacheState().studioRendererBuilds, 1);
}

TEST_F(CompositorTest, ClassicBubbleTiltTurnsCounterClockwiseInRenderSpace)
{
    CompositorSettings settings = classicSettings();
    settings.cameraTrackID = cameraTrack;
    settings.bubbleShape = BubbleShape::square;
    settings.bubbleRect = QRectF(200, 80, 160, 80); // centre (280, 120)
    const auto camera = solid(640, 480, cameraColor);
    const QPointF upperRight(335, 152), lowerRight(335, 88);

    const PixelBuffer level = render(settings, 1, grayScreen, camera);
    EXPECT_TRUE(at(level, upperRight.x(), upperRight.y()).near(cameraColor, 0));
    EXPECT_TRUE(at(level, lowerRight.x(), lowerRight.y()).near(cameraColor, 0));

    settings.bubbleTilt = 30;
    const PixelBuffer tilted = render(settings, 1, grayScreen, camera);
    EXPECT_TRUE(at(tilted, upperRight.x(), upperRight.y()).near(cameraColor, 0));
    EXPECT_TRUE(at(tilted, lowerRight.x(), lowerRight.y()).near(screenColor, 0));
}

TEST_F(CompositorTest, BrokenBubbleRectanglesLeaveTheBubbleOut)
{
    CompositorSettings settings = classicSettings();
    settings.cameraTrackID = cameraTrack;
    const auto camera = solid(64, 48, cameraColor);
    for (const QRectF& rect : {QRectF(), QRectF(10, 10, 0, 50), QRectF(10, 10, std::nan(""), 50), QRectF(0, 0, 1e9, 1e9),
             QRectF(-INFINITY, 0, 50, 50)}) {
        settings.bubbleRect = rect;
        EXPECT_EQ(changedPixels(render(settings, 0, grayScreen, camera), screenColor), 0);
    }
    EXPECT_TRUE(compositor.cacheState().maskKeys.empty());

    // A tilt that is not a number leaves the outline untilted.
    settings.bubbleRect = QRectF(300, 100, 120, 120);
    settings.bubbleTilt = std::nan("");
    EXPECT_TRUE(at(render(settings, 0, grayScreen, camera), 360, 160).near(cameraColor, 0));
}

