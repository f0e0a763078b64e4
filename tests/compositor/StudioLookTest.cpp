#include "CompositorFixture.h"

#include "compositing/StudioGeometry.h"

using namespace CompositorTesting;

namespace {

class StudioLookTest : public CompositorTest {
protected:
    StudioLookTest()
    {
        settings.layout = ScreenLayout::studio;
        settings.faceLayout = FaceLayout::bottomRight;
        settings.background = StudioBackground::linen;
        settings.cameraTrackID = cameraTrack;
    }
    StudioGeometry geometry() const { return StudioGeometry(settings.renderSize, 16.0 / 9.0, settings.faceLayout, settings.background); }

    CompositorSettings settings = classicSettings();
    std::shared_ptr<const PixelBuffer> camera = solid(640, 360, cameraColor);
};

QPointF middle(const QRectF& rect) { return {rect.x() + rect.width() / 2, rect.y() + rect.height() / 2}; }

} // namespace

TEST_F(StudioLookTest, CameraCardSitsWhereTheGeometryPutsIt)
{
    for (FaceLayout face : StudioLook::faceLayouts) {
        settings.faceLayout = face;
        const QRectF card = geometry().cardRect;
        const PixelBuffer out = render(settings, 1, grayScreen, camera);
        const QPointF c = middle(card);
        EXPECT_TRUE(at(out, c.x(), c.y()).near(cameraColor, 3)) << at(out, c.x(), c.y());
        // Outside the card there is no camera: the window shows the screen, the room its backdrop.
        const QPointF window = middle(geometry().windowRect);
        EXPECT_TRUE(at(out, window.x(), window.y()).near(screenColor, 3)) << at(out, window.x(), window.y());
        const QPointF mirrored(c.x(), height - c.y());
        if (!card.contains(mirrored)) {
            EXPECT_FALSE(at(out, mirrored.x(), mirrored.y()).near(cameraColor, 40));
        }
        const PixelBuffer without = render(settings, 1, grayScreen);
        EXPECT_FALSE(at(without, c.x(), c.y()).near(cameraColor, 40));
    }
    EXPECT_EQ(compositor.cacheState().studioRendererBuilds, 2);
}

