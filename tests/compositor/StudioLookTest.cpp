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

TEST_F(StudioLookTest, CardFollowsTheLayoutTimeline)
{
    const QRectF home = geometry().cardRect;
    const QRectF face = geometry().layoutFrame(LayoutState::face).cardRect;
    ASSERT_NE(home, face);
    settings.layoutTimeline.stops = {{LayoutState::screen, 0, 0, {}, 0}, {LayoutState::face, 2, 0, {}, 0}};
    const QPointF faceMiddle = middle(face);
    ASSERT_FALSE(home.contains(faceMiddle));
    EXPECT_TRUE(at(render(settings, 1, grayScreen, camera), faceMiddle.x(), faceMiddle.y()).near(screenColor, 3));
    const PixelBuffer faceFrame = render(settings, 3, grayScreen, camera);
    EXPECT_TRUE(at(faceFrame, faceMiddle.x(), faceMiddle.y()).near(cameraColor, 3)) << at(faceFrame, faceMiddle.x(), faceMiddle.y());
}

TEST_F(StudioLookTest, PhoneLiesBetweenTheSceneAndTheCard)
{
    settings.phoneTrackID = phoneTrack;
    settings.phoneShowsFrame = false;
    const QRectF card = geometry().cardRect;
    // A phone overlapping the card's left half and reaching left beyond it.
    settings.phoneRect = QRectF(card.x() - 40, card.y(), card.width() / 2 + 40, card.height());
    const PixelBuffer out = render(settings, 1, grayScreen, camera, solid(100, 100, phoneColor));
    const QPointF onBoth(card.x() + 5, middle(card).y());
    const QPointF phoneOnly(card.x() - 20, middle(card).y());
    EXPECT_TRUE(at(out, onBoth.x(), onBoth.y()).near(cameraColor, 3)) << at(out, onBoth.x(), onBoth.y());
    EXPECT_TRUE(at(out, phoneOnly.x(), phoneOnly.y()).near(phoneColor, 3)) << at(out, phoneOnly.x(), phoneOnly.y());
}

TEST_F(StudioLookTest, OneRendererPerSizeFaceAndBackgroundWhateverTheScreenSize)
{
    render(settings, 0, grayScreen, camera);
    render(settings, 1.0 / 60, solid(320, 180, screenColor), camera);
    EXPECT_EQ(compositor.cacheState().studioRendererBuilds, 1);
    settings.background = StudioBackground::darkRoom;
    render(settings, 2.0 / 60, grayScreen, camera);
    EXPECT_EQ(compositor.cacheState().studioRendererBuilds, 2);
    settings.renderSize = QSizeF(320, 180);
    render(settings, 3.0 / 60, grayScreen, camera);
    EXPECT_EQ(compositor.cacheState().studioRendererBuilds, 3);
}
