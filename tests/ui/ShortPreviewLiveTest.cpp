// The "Short frame" window as the app wires it: the controller's camera-only recorder films a fake camera,
// and the window's picture and frame size come from it.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "capture/CameraOnlyRecorder.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeAudioPlayback.h"
#include "support/TestEnvironment.h"
#include "takedata/CameraFrameTap.h"
#include "support/FakeTakeServices.h"
#include "views/framing/LivePreviewView.h"
#include "ui/ControllerShortPreviewSources.h"
#include "ui/DesktopHooks.h"
#include "ui/ElidedLabel.h"
#include "ui/SegmentedControl.h"
#include "ui/ShortPreviewWindow.h"
#include "ui/ShortWindows.h"
#include "views/shorts/ShortFrameStage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace {

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 5000)
{
    QElapsedTimer clock;
    clock.start();
    bool met = false;
    while (!(met = condition()) && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return met;
}

class ShortPreviewLiveTest : public SandboxTest { };

TEST_F(ShortPreviewLiveTest, EnteringShortShowsTheCameraOnlyPictureItsSizeAndTheViewersSide)
{
    settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
    FakeAccessProbe access;
    DesktopHooks hooks;
    FakeTakeServices services;
    const auto desk = FakeCameraHub::make({FakeCameraHub::landscape(1920, 1080, 30)}, QStringLiteral("Desk"));
    services.cameraOnly.cameras = {desk};
    CaptureDeviceInfo listed;
    listed.uniqueID = desk->uniqueID();
    listed.localizedName = desk->localizedName();
    services.cameraList = {listed};
    Platform platform {*settings, access, nullptr, &hooks};
    platform.takes = &services;
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    RecordingController controller(platform);
    controller.refreshDevices();
    ControllerShortPreviewSources sources(controller);
    auto output = std::make_shared<FakeAudioPlayback::State>();
    ShortWindows windows(controller, sources, [output] { return std::make_unique<FakeAudioPlayback>(output); });
    hooks.attachShortWindows(&windows);
    controller.setMirrorCamera(true);
    controller.setShortMirrorFile(false);
    // A script tool handed off the next short.
    QDir().mkpath(path(QStringLiteral("Recordings/Shorts")));
    QFile handoff(path(QStringLiteral("Recordings/Shorts/.next_take.json")));
    ASSERT_TRUE(handoff.open(QIODevice::WriteOnly));
    handoff.write(QStringLiteral(R"({"script_id":"s12","title":"Morning light","written_at":"%1"})")
                      .arg(QDateTime::currentDateTimeUtc().addSecs(-30).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")))
                      .toUtf8());
    handoff.close();

    controller.setCaptureMode(CaptureMode::short_);
    ASSERT_TRUE(waitUntil([&] { return windows.preview() != nullptr; }));
    ShortPreviewWindow& window = *windows.preview();
    EXPECT_TRUE(controller.routing().shortWindowOpen());
    LivePreviewView* picture = &window.stage().liveView();
    ASSERT_TRUE(picture->source() && picture->source()->tap == controller.routing().recorder()->frameTap())
        << "the camera-only recorder's picture";
    desk->play({{2.0}});
    CameraOnlyRecorder& recorder = *controller.routing().recorder();
    ASSERT_TRUE(waitUntil([&] { return recorder.frameTap()->newest() != nullptr; })) << "the preview runs: " << readLog().toStdString();
    // The pattern's frame counter sits in the picture's top rows: two looks a moment apart differ there.
    auto topRows = [&] {
        const QRect top = window.stage().layout().camera.toAlignedRect();
        return picture->grab(top).toImage().copy(0, 0, top.width(), 12);
    };
    const QImage early = topRows();
    EXPECT_TRUE(waitUntil([&] { return topRows() != early; })) << "the picture is live";
    EXPECT_TRUE(waitUntil([&] { return controller.shortFrameSize() == QSizeF(1920, 1080); }));
    EXPECT_TRUE(waitUntil([&] { return window.frameText().text() == QStringLiteral("608×1080 of the 1920×1080 feed → 1080×1920 (×1.78)"); }));
    EXPECT_TRUE(picture->isMirrored()) << "the whole camera as the mirror setting shows it; the tap holds the unmirrored file";
    ASSERT_TRUE(waitUntil([&] { return window.scriptRow().isVisibleTo(&window); })) << "the handoff reaches the header";
    EXPECT_EQ(window.scriptTitle().text(), QStringLiteral("Recording: s12 · Morning light"));
    window.clearScript().click();
    EXPECT_TRUE(waitUntil([&] { return !window.scriptRow().isVisibleTo(&window); })) << "\"Not this one\" drops the script";
    EXPECT_FALSE(controller.handoffs().shortHeaderScript());

    Q_EMIT window.viewChoice().activated(1);
    EXPECT_TRUE(controller.routing().viewerView());
    EXPECT_FALSE(picture->isMirrored()) << "the viewer view shows the file's side";
    window.close();
    EXPECT_TRUE(waitUntil([&] { return !controller.routing().shortWindowOpen(); }));
    EXPECT_FALSE(controller.routing().viewerView());
    hooks.attachShortWindows(nullptr);
    desk->waitForScript();
}

} // namespace
