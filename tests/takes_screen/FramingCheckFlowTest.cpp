// The framing check and the bubble's pill in Screen mode, on the real desk-camera recorder over a fake camera
// that shows the portrait, and the check's opening in the other modes.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "app/LinuxTakeServices.h"
#include "capture/CameraOnlyRecorder.h"
#include "core/ControllerHooks.h"
#include "core/RecordingController.h"
#include "views/framing/CameraBubbleWindow.h"
#include "views/framing/FramingAssistantView.h"
#include "framing/FramingMonitor.h"
#include "views/framing/FramingWindow.h"
#include "framing/LivePreviewSource.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeCameraHub.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/TestEnvironment.h"

#include <QGuiApplication>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

class ShortPreviewHooks final : public ControllerHooks {
public:
    int shortPreviewOpenings = 0;
    void openShortPreview() override { ++shortPreviewOpenings; }
};

// The portrait at a quarter of its light: the face is still found, but too dark.
QImage darkPortrait()
{
    QImage image = QImage(QStringLiteral(OLVENNAR_TEST_DATA "/portrait-astronaut.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor::fromRgbF(0, 0, 0, 0.75f));
    return image;
}

class FramingCheckFlow : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server: the pill shows only on a visible bubble";
        cameras.list = {FakeVideoDeviceCatalog::device(QStringLiteral("fake:Desk"), QStringLiteral("Desk"))};
        hub->setStill(darkPortrait());
        services = std::make_unique<LinuxTakeServices>(
            LinuxTakeServices::Devices{&cameras, [this](const QString&) { return CameraHubRegistry::Result{hub, std::nullopt}; }});
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = services.get();
        platform.hooks = &hooks;
        controller = std::make_unique<RecordingController>(platform);
        QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
        hub->play({{30.0, 0.0}});
    }

    void TearDown() override
    {
        controller.reset();
        services.reset();
        SandboxTest::TearDown();
    }

    bool pillReads(const QString& text)
    {
        return TestEnvironment::waitUntil([&] {
            auto* bubble = static_cast<CameraBubbleWindow*>(controller->bubblePanel().window());
            return bubble && bubble->hostView().isPillShown() && bubble->hostView().pillText() == text;
        }, 8000);
    }
    bool pillHidden()
    {
        return TestEnvironment::waitUntil([&] { return !static_cast<CameraBubbleWindow*>(controller->bubblePanel().window())->hostView().isPillShown(); }, 2000);
    }
    void closeCheck()
    {
        static_cast<FramingWindow*>(controller->framingWindow())->close();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->framingWindow() == nullptr; }, 2000));
    }

    FakeAccessProbe access;
    ShortPreviewHooks hooks;
    FakeVideoDeviceCatalog cameras;
    std::shared_ptr<FakeCameraHub> hub = FakeCameraHub::make({FakeCameraHub::landscape(640, 360, 30)}, QStringLiteral("Desk"));
    std::unique_ptr<LinuxTakeServices> services;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(FramingCheckFlow, thePillFollowsTheHintsSwitchAndTheCheckWindowKeepsTheMonitorOnlyWhileOpen)
{
    controller->setFramingHintsOnBubble(true);
    controller->setCameraEnabled(true);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->bubblePanel().window() && controller->bubblePanel().window()->isShown(); }, 3000));
    // "Too dark — add a light in front of you", cut before the dash.
    ASSERT_TRUE(pillReads(QStringLiteral("Too dark"))) << static_cast<CameraBubbleWindow*>(controller->bubblePanel().window())->hostView().pillText().toStdString();
    EXPECT_TRUE(controller->routing().framing().isRunning());

    controller->setFramingHintsOnBubble(false);
    EXPECT_TRUE(pillHidden());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !controller->routing().framing().isRunning(); }, 2000));

    // The check window keeps the monitor going with the hints off, and the pill stays hidden.
    QCoro::waitFor(controller->openFramingCheck());
    ASSERT_NE(controller->framingWindow(), nullptr);
    EXPECT_TRUE(controller->routing().framing().isRunning());
    EXPECT_TRUE(controller->routing().framing().livePreview());
    TestEnvironment::waitUntil([] { return false; }, 500);
    EXPECT_FALSE(static_cast<CameraBubbleWindow*>(controller->bubblePanel().window())->hostView().isPillShown());
    closeCheck();
    EXPECT_FALSE(controller->routing().framing().isRunning());
    EXPECT_FALSE(controller->routing().framing().livePreview());

    // With the hints on, closing the window leaves the monitor to the bubble.
    controller->setFramingHintsOnBubble(true);
    QCoro::waitFor(controller->openFramingCheck());
    closeCheck();
    EXPECT_TRUE(controller->routing().framing().isRunning());
    EXPECT_TRUE(pillReads(QStringLiteral("Too dark")));
}

TEST_F(FramingCheckFlow, openingTwiceBringsTheSameWindowAndReopeningStartsAFreshView)
{
    controller->setCameraEnabled(false);
    QCoro::waitFor(controller->openFramingCheck());
    EXPECT_TRUE(controller->cameraEnabled()) << "the check switches the camera on";
    auto* first = static_cast<FramingWindow*>(controller->framingWindow());
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    const auto preview = controller->routing().framing().livePreview();
    ASSERT_TRUE(preview);
    auto* view = static_cast<FramingAssistantView*>(first->content());
    view->select(2);
    QCoro::waitFor(controller->openFramingCheck());
    EXPECT_EQ(controller->framingWindow(), first);
    EXPECT_EQ(controller->routing().framing().livePreview(), preview) << "routing hands the same picture on";

    closeCheck();
    QCoro::waitFor(controller->openFramingCheck());
    ASSERT_NE(controller->framingWindow(), nullptr);
    auto* fresh = static_cast<FramingAssistantView*>(static_cast<FramingWindow*>(controller->framingWindow())->content());
    EXPECT_EQ(fresh->selected(), 0);
    EXPECT_FALSE(fresh->sensor());
    EXPECT_EQ(controller->routing().framing().livePreview(), preview) << "the desk picture is made once";

    // The camera switched off leaves the window without a picture and the monitor idle.
    controller->setCameraEnabled(false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !controller->routing().framing().isRunning(); }, 2000));
    EXPECT_FALSE(controller->routing().framing().livePreview());
}

TEST_F(FramingCheckFlow, shortModeOpensTheShortPreviewAndJustMeNeedsTheCamera)
{
    controller->setCaptureMode(CaptureMode::short_);
    TestEnvironment::waitUntil([] { return false; }, 200); // the mode's own opening of the short preview
    int openings = hooks.shortPreviewOpenings;
    QCoro::waitFor(controller->openFramingCheck());
    EXPECT_EQ(hooks.shortPreviewOpenings, openings + 1);
    EXPECT_EQ(controller->framingWindow(), nullptr);

    controller->setCaptureMode(CaptureMode::cameraOnly);
    access.cameraState = Permissions::State::denied;
    QCoro::waitFor(controller->openFramingCheck());
    EXPECT_EQ(controller->framingWindow(), nullptr);
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::failed);
    EXPECT_TRUE(controller->phase().payload().startsWith(QStringLiteral("Camera access is off. Add your user to the \"video\" group")));

    // Granted, the window shows the camera-only preview, the very picture the desk monitor reads.
    access.cameraState = Permissions::State::granted;
    QCoro::waitFor(controller->openFramingCheck());
    ASSERT_NE(controller->framingWindow(), nullptr);
    ASSERT_NE(controller->routing().recorder(), nullptr);
    ASSERT_TRUE(controller->routing().framing().livePreview());
    EXPECT_EQ(controller->routing().framing().livePreview()->tap, controller->routing().recorder()->frameTap());
    EXPECT_TRUE(controller->routing().framing().isRunning());
    closeCheck();
    EXPECT_FALSE(controller->routing().framing().isRunning());
}

TEST_F(FramingCheckFlow, everyModeAsksForTheCameraAndARefusalOpensNothing)
{
    access.cameraState = Permissions::State::denied;
    for (CaptureMode mode : {CaptureMode::short_, CaptureMode::screen, CaptureMode::voice, CaptureMode::cameraOnly}) {
        SCOPED_TRACE(CaptureModes::rawText(mode).toStdString());
        controller->setCaptureMode(mode);
        TestEnvironment::waitUntil([] { return false; }, 200);
        controller->setPhase(RecordingPhase::idle());
        const int openings = hooks.shortPreviewOpenings;
        QCoro::waitFor(controller->openFramingCheck());
        EXPECT_EQ(hooks.shortPreviewOpenings, openings);
        EXPECT_EQ(controller->framingWindow(), nullptr);
        EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::failed);
        EXPECT_TRUE(controller->phase().payload().startsWith(QStringLiteral("Camera access is off."))) << controller->phase().payload().toStdString();
    }
    // During a take a refusal costs only the window, never the take.
    controller->setCaptureMode(CaptureMode::screen);
    controller->setPhase(RecordingPhase::recording());
    QCoro::waitFor(controller->openFramingCheck());
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording);
    EXPECT_EQ(controller->framingWindow(), nullptr);
    controller->setPhase(RecordingPhase::idle());
}

} // namespace
