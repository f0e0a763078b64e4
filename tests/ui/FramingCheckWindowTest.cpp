// The framing check as a user opens it: the camera (a fake one showing the portrait) is on in the studio look,
// "Check framing" is clicked in the window, and the check window shows the live picture with the four studio
// crops and an eye line through the portrait's eyes.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "XPointer.h"

#include "app/LinuxTakeServices.h"
#include "core/RecordingController.h"
#include "views/framing/FramingAssistantView.h"
#include "framing/FramingMonitor.h"
#include "views/framing/FramingStage.h"
#include "views/framing/FramingStyle.h"
#include "views/framing/FramingWindow.h"
#include "views/framing/LivePreviewView.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeCameraHub.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/TestEnvironment.h"
#include "ui/ContentView.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The portrait's eye centres, in its own 512 × 512 pixels.
const QPointF portraitLeftEye(203, 102);
const QPointF portraitRightEye(247, 104);

bool near(const QColor& a, const QColor& b) { return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 90; }

class FramingCheckWindowTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        cameras.list = {FakeVideoDeviceCatalog::device(QStringLiteral("fake:Desk"), QStringLiteral("Desk"))};
        hub->setStill(QImage(QStringLiteral(OLVENNAR_TEST_DATA "/portrait-astronaut.png")));
        services = std::make_unique<LinuxTakeServices>(
            LinuxTakeServices::Devices{&cameras, [this](const QString&) { return CameraHubRegistry::Result{hub, std::nullopt}; }});
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = services.get();
        controller = std::make_unique<RecordingController>(platform);
        QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
        controller->setScreenLayout(ScreenLayout::studio);
        controller->setLayoutMode(LayoutMode::dynamic);
        controller->setStudioBackground(StudioBackground::linen);
        controller->setCameraEnabled(true);
        hub->play({{30.0, 0.0}});
        view = std::make_unique<ContentView>(*controller);
        // Left of the bubble, which floats at the screen's right.
        ASSERT_TRUE(XPointer::showAt(*view, QPoint(20, 20)));
    }

    void TearDown() override
    {
        view.reset();
        controller.reset();
        services.reset();
        SandboxTest::TearDown();
    }

    FakeAccessProbe access;
    FakeVideoDeviceCatalog cameras;
    std::shared_ptr<FakeCameraHub> hub = FakeCameraHub::make({FakeCameraHub::landscape(1280, 720, 30)}, QStringLiteral("Desk"));
    std::unique_ptr<LinuxTakeServices> services;
    std::unique_ptr<RecordingController> controller;
    std::unique_ptr<ContentView> view;
};

TEST_F(FramingCheckWindowTest, checkFramingShowsTheLiveCameraWithTheStudioCropsAndTheEyeLineOnTheEyes)
{
    auto* button = view->findChild<QPushButton*>(QStringLiteral("checkFramingButton"));
    ASSERT_NE(button, nullptr);
    view->scrollArea()->ensureWidgetVisible(button);
    ASSERT_TRUE(XPointer::click(button)) << "another window covers the button";
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->framingWindow() && controller->framingWindow()->isShown(); }));
    auto* window = static_cast<FramingWindow*>(controller->framingWindow());
    auto* check = static_cast<FramingAssistantView*>(window->content());
    const FramingMonitor& monitor = controller->routing().framing();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return check->cardCount() == 4 && monitor.report().face.has_value(); }, 8000));

    // The live picture is the bubble camera's own frames, not a second capture.
    LivePreviewView* live = check->stage().livePreview();
    ASSERT_NE(live, nullptr);
    ASSERT_TRUE(live->source());
    EXPECT_EQ(live->source(), monitor.livePreview());
    EXPECT_EQ(hub->streamStarts(), 1);
    EXPECT_EQ(check->cardThumbnail(0).model().crop->name(), QStringLiteral("Card"));

    if (const QByteArray shots = qgetenv("OLVENNAR_SCREENSHOTS"); !shots.isEmpty()) {
        TestEnvironment::waitUntil([] { return false; }, 500);
        window->grab().save(QDir(QString::fromLocal8Bit(shots)).filePath(QStringLiteral("framing-check-crop.png")));
    }

    // In the whole-camera view the eye line crosses the portrait's eyes where the camera frame shows them.
    check->viewToggle().click();
    check->refresh();
    TestEnvironment::waitUntil([] { return false; }, 300);
    FramingStage& stage = check->stage();
    const FramingStageLayout layout = stage.layout();
    const QRectF still = hub->stillRect(QSizeF(512, 512));
    const auto onStage = [&](QPointF eye) {
        QPointF frame(still.x() + eye.x() * still.width() / 512, still.y() + eye.y() * still.height() / 512);
        if (controller->mirrorCamera())
            frame.setX(1280 - frame.x());
        return layout.place(QPointF(frame.x() / 1280, frame.y() / 720));
    };
    const QPointF left = onStage(portraitLeftEye);
    const QPointF right = onStage(portraitRightEye);
    const QImage grab = stage.grab().toImage();
    const QColor colour = FramingStyle::status(stage.model().status);
    const QPointF middle = (left + right) / 2;
    std::vector<int> hits;
    for (int y = static_cast<int>(middle.y()) - 30; y <= static_cast<int>(middle.y()) + 30; ++y)
        if (near(grab.pixelColor(static_cast<int>(middle.x()), y), colour))
            hits.push_back(y);
    ASSERT_FALSE(hits.empty()) << "no eye line near " << middle.x() << ", " << middle.y();
    const double found = (hits.front() + hits.back()) / 2.0;
    EXPECT_NEAR(found, middle.y(), 6);

    if (const QByteArray shots = qgetenv("OLVENNAR_SCREENSHOTS"); !shots.isEmpty())
        window->grab().save(QDir(QString::fromLocal8Bit(shots)).filePath(QStringLiteral("framing-check-whole-camera.png")));
}

} // namespace
