#include "capture/DeviceVideoRecorder.h"
#include "compositing/StudioLayoutPreviewRenderer.h"
#include "platform/media/PixelBufferViews.h"
#include "support/FakeCameraHub.h"
#include "support/TestEnvironment.h"
#include "takedata/CameraFrameTap.h"
#include "ui/StudioLayoutPreview.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>

#include <gtest/gtest.h>

namespace {

QColor at(const PixelBuffer& buffer, double x, double y)
{
    // Picture space: origin bottom-left.
    return PixelBufferViews::image(buffer).pixelColor(static_cast<int>(x), buffer.height() - 1 - static_cast<int>(y));
}

bool near(const QColor& color, double red, double green, double blue)
{
    return std::abs(color.redF() - red) < 0.01 && std::abs(color.greenF() - green) < 0.01 && std::abs(color.blueF() - blue) < 0.01;
}

TEST(PreviewPlaceholdersTest, theStandInPicturesAreDrawnWhereTheirTablesSay)
{
    const PixelBuffer& camera = StudioLayoutPreviewRenderer::placeholderCamera();
    ASSERT_EQ(QSize(camera.width(), camera.height()), QSize(640, 360));
    struct Probe {
        QPointF point;
        double red, green, blue;
    };
    const std::vector<Probe> cameraProbes{
        {{20, 340}, 0.851, 0.757, 0.639}, // background
        {{320, 225}, 0.776, 0.545, 0.494}, // the head's middle
        {{320, 40}, 0.776, 0.545, 0.494}, // the shoulders
        {{100, 40}, 0.851, 0.757, 0.639}, // beside the shoulders
    };
    for (const Probe& p : cameraProbes)
        EXPECT_TRUE(near(at(camera, p.point.x(), p.point.y()), p.red, p.green, p.blue)) << p.point.x() << "," << p.point.y();

    const PixelBuffer screen = StudioLayoutPreviewRenderer::placeholderScreen(QSize(1000, 1000));
    const std::vector<Probe> screenProbes{
        {{20, 20}, 0.87, 0.85, 0.82}, // desk below the window (window from y = 60)
        {{500, 520}, 0.99, 0.98, 0.96}, // window body, between the fourth and fifth lines
        {{500, 890}, 0.93, 0.91, 0.88}, // title bar: 860 to 920
        {{100, 400}, 0.95, 0.93, 0.90}, // sidebar: x 50 to 230
        // First text line: left at 230 + 40, bottom at 860 - 80 = 780, 22 high.
        {{300, 790}, 0.83, 0.80, 0.76},
        {{300, 770}, 0.99, 0.98, 0.96},
    };
    for (const Probe& p : screenProbes) {
        const QColor c = at(screen, p.point.x(), p.point.y());
        EXPECT_TRUE(near(c, p.red, p.green, p.blue)) << p.point.x() << "," << p.point.y() << " is " << c.name().toStdString();
    }
}

TEST(PreviewPlaceholdersTest, theCardLandsWhereTheGeometryPutsItOverAnUnchangedBase)
{
    for (FaceLayout face : StudioLook::faceLayouts) {
        StudioLayoutPreviewRenderer preview(face, StudioBackground::linen);
        const QImage frame = preview.render(nullptr, false);
        ASSERT_EQ(frame.size(), QSize(720, 405));
        const QImage base = PixelBufferViews::image(preview.base());
        const QRectF card = preview.renderer().geometry().cardRect;
        const QRectF window = preview.renderer().geometry().windowRect;
        const auto pixel = [](const QImage& image, QPointF p) { return image.pixel(int(p.x()), image.height() - 1 - int(p.y())); };
        EXPECT_NE(pixel(frame, card.center()), pixel(base, card.center())) << StudioLook::rawText(face).toStdString();
        // Far from the card the frame is the base.
        const QPointF away = face == FaceLayout::tallLeft ? QPointF(window.right() - 20, window.bottom() - 20) : QPointF(window.left() + 20, window.bottom() - 20);
        EXPECT_FALSE(card.adjusted(-40, -40, 40, 40).contains(away));
        EXPECT_EQ(pixel(frame, away), pixel(base, away)) << StudioLook::rawText(face).toStdString();
        // Frames drawn one after another leave nothing of the earlier card behind.
        PixelBuffer bright(1280, 720);
        bright.fill(40, 200, 250, 255);
        EXPECT_NE(preview.render(&bright, true), frame);
        EXPECT_EQ(preview.render(nullptr, false), frame);
    }
}

class StudioLayoutPreviewTest : public ::testing::Test {
protected:
    // A live preview draws only while it is on screen.
    void SetUp() override { preview.show(); }

    // Runs the event loop for a while.
    static void run(int milliseconds)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    // The recorder previews the fake camera playing for `seconds`, and the preview shows its tap live.
    void goLive(const std::shared_ptr<FakeCameraHub>& hub, DeviceVideoRecorder& recorder, double seconds)
    {
        ASSERT_FALSE(recorder.configure(hub, false).has_value());
        recorder.startPreview();
        hub->play({{seconds}});
        preview.setFrameTap(recorder.frameTap());
        preview.setCameraLive(true);
    }
    bool waitForFrames(int count, int milliseconds = 5000)
    {
        return TestEnvironment::waitUntil([&] { return preview.framesShown() >= count; }, milliseconds);
    }

    StudioLayoutPreview preview;
};

TEST_F(StudioLayoutPreviewTest, cameraOffShowsTheSilhouetteOnceWithItsCaption)
{
    ASSERT_TRUE(waitForFrames(1));
    run(700);
    EXPECT_EQ(preview.framesShown(), 1) << "a still: no refresh";
    EXPECT_EQ(preview.captionText(),
        QStringLiteral("Export preview — tall card on the left. Turn on the camera bubble to see yourself in the card."));
    StudioLayoutPreviewRenderer reference(FaceLayout::tallLeft, StudioBackground::blushMesh);
    EXPECT_EQ(preview.image(), reference.render(nullptr, false)) << "the stand-in camera in the card";
}

TEST_F(StudioLayoutPreviewTest, aLiveCameraRefreshesAboutEveryFifthOfASecondUntilPaused)
{
    auto hub = FakeCameraHub::make();
    DeviceVideoRecorder recorder;
    goLive(hub, recorder, 4.0);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(preview.captionText(),
        QStringLiteral("Export preview — tall card on the left. That is your camera, cropped exactly as the video will be."));
    ASSERT_TRUE(waitForFrames(1));
    const int first = preview.framesShown();
    run(1200);
    const int shown = preview.framesShown() - first;
    EXPECT_GE(shown, 3) << "0.2 s after each frame";
    EXPECT_LE(shown, 7);

    // Paused (a take films): exactly one more frame, then a still.
    preview.setPaused(true);
    const int built = preview.renderersBuilt();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return preview.renderersBuilt() > built; }, 5000));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return preview.framesShown() > first + shown; }, 5000));
    const int paused = preview.framesShown();
    run(800);
    EXPECT_EQ(preview.framesShown(), paused);
    hub->waitForScript();
    recorder.stopPreview();
}

TEST_F(StudioLayoutPreviewTest, aFaceLayoutSwitchRebuildsTheRendererAndTheCaption)
{
    ASSERT_TRUE(waitForFrames(1));
    EXPECT_EQ(preview.renderersBuilt(), 1);
    const QImage tall = preview.image();
    preview.setFace(FaceLayout::bottomRight);
    EXPECT_EQ(preview.captionText(),
        QStringLiteral("Export preview — card bottom-right. Turn on the camera bubble to see yourself in the card."));
    ASSERT_TRUE(waitForFrames(2));
    EXPECT_EQ(preview.renderersBuilt(), 2);
    EXPECT_NE(preview.image(), tall);
    // Setters in one turn start one rebuild, and a value set back to what it was starts none.
    preview.setGrade(true);
    preview.setGrade(false);
    run(300);
    EXPECT_EQ(preview.renderersBuilt(), 2);
}

TEST_F(StudioLayoutPreviewTest, rapidKeyChangesEndOnTheLastKeysPictureAndAGonePreviewGetsNothing)
{
    ASSERT_TRUE(waitForFrames(1));
    // One change per turn of the loop, so each starts a rebuild while older builds and frames are still out.
    for (int change = 0; change < 12; ++change) {
        preview.setFace(change % 2 == 0 ? FaceLayout::bottomRight : FaceLayout::tallLeft);
        preview.setBackground(change % 3 == 0 ? StudioBackground::linen : StudioBackground::blushMesh);
        preview.setGrade(change % 4 == 1);
        run(5);
    }
    preview.setFace(FaceLayout::bottomRight);
    preview.setBackground(StudioBackground::linen);
    preview.setGrade(false);
    StudioLayoutPreviewRenderer reference(FaceLayout::bottomRight, StudioBackground::linen);
    const QImage expected = reference.render(nullptr, false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return preview.image() == expected; }, 10000));
    const int shown = preview.framesShown();
    run(600);
    EXPECT_EQ(preview.framesShown(), shown) << "no older work arrives after the last picture";
    EXPECT_EQ(preview.image(), expected);

    // A preview that goes while its work is out is never handed a result.
    for (int round = 0; round < 5; ++round) {
        auto doomed = std::make_unique<StudioLayoutPreview>();
        doomed->setFace(FaceLayout::bottomRight);
        run(2);
        doomed->setGrade(true);
        doomed.reset();
        run(20);
    }
}

TEST_F(StudioLayoutPreviewTest, aLivePreviewShownWhileItsFirstFrameIsOutDrawsOneFrameAtATime)
{
    auto hub = FakeCameraHub::make();
    DeviceVideoRecorder recorder;
    goLive(hub, recorder, 6.0);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitForFrames(1));
    // Off screen it stops after its next frame.
    preview.hide();
    run(600);
    // A rebuild while hidden, and the preview comes back the moment the new renderer's first frame is asked for.
    const int built = preview.renderersBuilt();
    preview.setGrade(true);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        if (preview.renderersBuilt() == built)
            return false;
        preview.show();
        return true;
    }, 5000));
    ASSERT_TRUE(waitForFrames(preview.framesShown() + 1));
    const int first = preview.framesShown();
    run(1200);
    const int shown = preview.framesShown() - first;
    EXPECT_GE(shown, 3);
    EXPECT_LE(shown, 7) << "one chain of frames, 0.2 s apart";
    hub->waitForScript();
    recorder.stopPreview();
}

} // namespace
