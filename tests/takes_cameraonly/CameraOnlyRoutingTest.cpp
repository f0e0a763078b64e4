// Which picture the framing monitors read and when the camera-only preview runs, on fake cameras.
#include "CameraOnlyFixture.h"

#include "framing/FramingCropSpec.h"
#include "framing/FramingMonitor.h"

#include <gtest/gtest.h>

namespace {

using Phase = RecordingPhase;

class CameraOnlyRouting : public CameraOnlyFixture { };

TEST_F(CameraOnlyRouting, JustMePreviewRunsOnlyWhileTheFramingWindowIsOpen)
{
    controller->setCaptureMode(CaptureMode::cameraOnly);
    settle();
    EXPECT_FALSE(recorder().isRunning());
    EXPECT_FALSE(controller->routing().framing().isRunning());

    controller->setFramingWindowOpen(true);
    EXPECT_TRUE(recorder().isRunning());
    EXPECT_EQ(controller->routing().previewCameraID(), desk->uniqueID());
    EXPECT_FALSE(controller->routing().previewShort());
    EXPECT_TRUE(controller->routing().framing().isRunning());
    EXPECT_TRUE(readLog().contains(QStringLiteral("framing preview (just me) on Desk")));
    // Routing again with nothing changed starts nothing.
    controller->updateFramingRouting();
    settle();
    EXPECT_EQ(previewStarts(), 1);

    controller->setFramingWindowOpen(false);
    EXPECT_FALSE(recorder().isRunning());
    EXPECT_FALSE(controller->routing().previewCameraID());
    EXPECT_FALSE(controller->routing().framing().isRunning());
}

TEST_F(CameraOnlyRouting, ModeCameraAndProfileChangesRestartThePreviewAndTakesNeverSeeIt)
{
    controller->setFramingWindowOpen(true);
    controller->setShortWindowOpen(true);
    controller->setCaptureMode(CaptureMode::cameraOnly);
    settle();
    ASSERT_EQ(previewStarts(), 1);

    controller->setCaptureMode(CaptureMode::short_);
    settle();
    EXPECT_EQ(previewStarts(), 2);
    EXPECT_TRUE(controller->routing().previewShort());
    EXPECT_TRUE(recorder().shortProfile);
    EXPECT_TRUE(controller->routing().shortFraming().isRunning());
    EXPECT_EQ(controller->framingSpecs(), std::vector<FramingCropSpec>{FramingCropSpec::fullFrame()});
    EXPECT_EQ(controller->shortFrameSize(), QSizeF(1920, 1080));

    controller->setSelectedCameraID(side->uniqueID());
    settle();
    EXPECT_EQ(previewStarts(), 3);
    EXPECT_EQ(controller->routing().previewCameraID(), side->uniqueID());

    // While a take counts down, prepares, films or finishes, routing leaves the preview alone.
    for (const Phase& phase : {Phase::countingDown(), Phase::preparing(), Phase::recording(), Phase::paused(), Phase::finishing()}) {
        controller->setPhase(phase);
        controller->setSelectedCameraID(desk->uniqueID());
        controller->setShortWindowOpen(false);
        settle();
        EXPECT_EQ(previewStarts(), 3);
        EXPECT_TRUE(recorder().isRunning());
        controller->setShortWindowOpen(true);
        controller->setSelectedCameraID(side->uniqueID());
    }
    controller->setPhase(Phase::idle());
    controller->setSelectedCameraID(QStringLiteral("unplugged"));
    settle();
    // A selection no camera matches falls back to the first listed camera.
    EXPECT_EQ(controller->routing().previewCameraID(), desk->uniqueID());
}

TEST_F(CameraOnlyRouting, CameraQualityCapsBothProfilesAndTheShortFileMirroringOnlyTheShort)
{
    controller->setMirrorCamera(true);
    controller->setShortMirrorFile(false);
    controller->setCaptureMode(CaptureMode::cameraOnly);
    controller->setCameraQuality(CameraQuality::p720);
    controller->setFramingWindowOpen(true);
    settle();
    EXPECT_EQ(recorder().maxHeight, 720);
    EXPECT_EQ(recorder().frameSize(), QSize(1280, 720));
    EXPECT_TRUE(recorder().fileMirrored()) << "in Just me the file follows the mirror setting";

    controller->setShortWindowOpen(true);
    controller->setCaptureMode(CaptureMode::short_); // each mode keeps its own quality
    controller->setCameraQuality(CameraQuality::p720);
    settle();
    EXPECT_EQ(recorder().maxHeight, 720);
    EXPECT_FALSE(recorder().fileMirrored());
    EXPECT_TRUE(recorder().previewMirrored());

    controller->setCameraQuality(CameraQuality::best);
    settle();
    EXPECT_EQ(recorder().maxHeight, std::nullopt);
    EXPECT_EQ(recorder().frameSize(), QSize(1920, 1080));
}

TEST_F(CameraOnlyRouting, AfterATakeThePreviewReturnsForAnOpenWindowElseTheCameraStops)
{
    controller->setCaptureMode(CaptureMode::short_);
    controller->setShortWindowOpen(true);
    settle();
    ASSERT_TRUE(recorder().isRunning());
    controller->routing().settle();
    EXPECT_TRUE(recorder().isRunning());
    EXPECT_EQ(previewStarts(), 2) << "configured afresh";

    controller->setShortWindowOpen(false);
    EXPECT_FALSE(recorder().isRunning());
    services.cameraList.clear();
    controller->refreshDevices();
    controller->setShortWindowOpen(true);
    EXPECT_FALSE(recorder().isRunning()) << "no camera, no preview";
    controller->routing().settle();
    EXPECT_FALSE(recorder().isRunning());
}

TEST_F(CameraOnlyRouting, DeskCropsFollowTheLook)
{
    controller->setCaptureMode(CaptureMode::screen);
    controller->setScreenLayout(ScreenLayout::classic);
    controller->setBubbleShape(BubbleShape::square);
    EXPECT_EQ(controller->framingSpecs(), std::vector<FramingCropSpec>{FramingCropSpec::shape(BubbleShape::square)});
    controller->setScreenLayout(ScreenLayout::studio);
    controller->setLayoutMode(LayoutMode::dynamic);
    controller->setStudioBackground(StudioBackground::darkRoom);
    EXPECT_EQ(controller->framingSpecs(), FramingCropSpec::studioCrops(controller->faceLayout(), StudioBackground::darkRoom, false));
    controller->setCaptureMode(CaptureMode::voice);
    EXPECT_EQ(controller->framingSpecs(), std::vector<FramingCropSpec>{FramingCropSpec::fullFrame()});
    // Screen mode without the bubble and without the window: the desk monitor stays idle.
    controller->setCaptureMode(CaptureMode::screen);
    settle();
    EXPECT_FALSE(controller->routing().framing().isRunning());
}

} // namespace
