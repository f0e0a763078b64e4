#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "app/LinuxTakeServices.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "finishing/SaveJobHandover.h"
#include "views/framing/CameraBubbleWindow.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/system/Paths.h"
#include "platform/x11/XcbConnection.h"
#include "support/HeldSaveJobs.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeCameraHub.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/MovieProbe.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"
#include "support/X11TestWindow.h"
#include "views/teleprompter/TeleprompterPanel.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

#include <qcorotask.h>

#include <gtest/gtest.h>

namespace {

// Lets the main loop run (panels paint, the pointer sampler ticks) for the given time.
void spin(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void click(int x, int y)
{
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
                                                      QStringLiteral("1")});
}

bool isRed(QRgb pixel) { return qRed(pixel) > 180 && qGreen(pixel) < 80 && qBlue(pixel) < 80; }

class ScreenTakeOnX11 : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (qgetenv("DISPLAY").isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X display";
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        if (Paths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        connection = XcbConnection::open();
        ASSERT_TRUE(connection);
    }

    std::unique_ptr<XcbConnection> connection;
};

TEST_F(ScreenTakeOnX11, aTakeWithClicksAPauseAndTheBubbleLeavesItsMoviesAndSidecars)
{
    // The display as it is: the clicks land inside any usual size, every measure follows it.
    const QRect display(0, 0, connection->screen()->width_in_pixels, connection->screen()->height_in_pixels);
    // A red desktop, so anything of ours that reached the movie would show.
    X11TestWindow backdrop(*connection, display, 0xFF0000, {QStringLiteral("canvas"), QStringLiteral("Canvas"), QStringLiteral("red"), 0});
    backdrop.map();

    FakeVideoDeviceCatalog catalog;
    catalog.list = {FakeVideoDeviceCatalog::device(QStringLiteral("fake:Desk"), QStringLiteral("Desk"))};
    auto hub = FakeCameraHub::make({FakeCameraHub::landscape(320, 180, 30)}, QStringLiteral("Desk"));
    LinuxTakeServices services(LinuxTakeServices::Devices{&catalog, [hub](const QString&) { return CameraHubRegistry::Result{hub, std::nullopt}; }});
    std::vector<SaveJobHandover> jobs;
    FakeAccessProbe access;
    Platform platform{*settings, access};
    platform.takes = &services;
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    RecordingController controller(platform);
    holdSaveJobs(controller.finishQueue(), jobs);
    controller.setCountdownSeconds(0);
    QCoro::waitFor(controller.checkPermissionAndLoadDisplays());
    ASSERT_FALSE(controller.displays().empty());
    controller.setCameraEnabled(true);
    spin(300);
    auto* bubble = static_cast<CameraBubbleWindow*>(controller.bubblePanel().window());
    ASSERT_TRUE(bubble) << controller.phase().payload().toStdString();
    ASSERT_TRUE(bubble->isVisible());
    const QRect bubbleFrame = bubble->geometry();

    hub->play({{8.0, 0.0}});
    QCoro::waitFor(controller.start());
    ASSERT_EQ(controller.phase().kind(), RecordingPhase::Kind::recording) << controller.phase().payload().toStdString();
    spin(1000);
    click(900, 300);
    spin(500);
    click(1000, 500);
    spin(500);
    controller.togglePause();
    spin(2000);
    controller.togglePause();
    spin(1000);
    click(700, 200);
    spin(1000);
    QCoro::waitFor(controller.stop());
    hub->waitForScript();
    ASSERT_TRUE(TestEnvironment::savedTheTake(controller.phase())) << controller.phase().payload().toStdString();

    const QDir takeFolder(path(QStringLiteral("Recordings/video 1")));
    for (const char* name : {"raw.mov", "camera.mov", "clicks.json", "cursor.json", "zoom.json"})
        EXPECT_TRUE(takeFolder.exists(QLatin1String(name))) << name;
    const QString raw = takeFolder.filePath(QStringLiteral("raw.mov"));
    const QJsonObject probe = MovieProbe::streams(raw);
    const QJsonArray streams = probe[QStringLiteral("streams")].toArray();
    EXPECT_EQ(streams.size(), 3) << "the screen, the microphone and the system sound";
    // Five seconds filmed, two of them paused.
    EXPECT_NEAR(probe[QStringLiteral("format")][QStringLiteral("duration")].toString().toDouble(), 4.0, 0.5);
    const QJsonObject cameraProbe = MovieProbe::streams(takeFolder.filePath(QStringLiteral("camera.mov")));
    const QJsonArray camera = cameraProbe[QStringLiteral("streams")].toArray();
    ASSERT_EQ(camera.size(), 1);
    EXPECT_EQ(camera[0][QStringLiteral("codec_name")].toString(), QStringLiteral("h264"));
    // The same pause is cut from the camera on the shared clock; it films on while the screen movie closes.
    const double cameraSeconds = cameraProbe[QStringLiteral("format")][QStringLiteral("duration")].toString().toDouble();
    EXPECT_GT(cameraSeconds, 3.5);
    EXPECT_LT(cameraSeconds, 5.5);

    QFile clicksFile(takeFolder.filePath(QStringLiteral("clicks.json")));
    ASSERT_TRUE(clicksFile.open(QIODevice::ReadOnly));
    const QJsonArray clicks = QJsonDocument::fromJson(clicksFile.readAll()).array();
    ASSERT_EQ(clicks.size(), 3);
    // (900, 300) on the screen, measured from the bottom left.
    EXPECT_NEAR(clicks[0][QStringLiteral("x")].toDouble(), 900.0 / display.width(), 0.01);
    EXPECT_NEAR(clicks[0][QStringLiteral("y")].toDouble(), 1 - 300.0 / display.height(), 0.01);
    EXPECT_LT(clicks[1][QStringLiteral("time")].toDouble(), clicks[2][QStringLiteral("time")].toDouble() - 1.0);
    EXPECT_LT(clicks[2][QStringLiteral("time")].toDouble(), 4.2) << "the paused span is cut from the click times";

    ASSERT_EQ(jobs.size(), 1u);
    const Mixdown::Request& request = jobs[0].request;
    EXPECT_EQ(request.rawURL, raw);
    EXPECT_EQ(request.cameraURL, takeFolder.filePath(QStringLiteral("camera.mov")));
    // Render space is the screen movie's picture, which a quality cap may make smaller than the display.
    QJsonObject screenStream;
    for (const QJsonValue& stream : streams)
        if (stream[QStringLiteral("codec_type")].toString() == QLatin1String("video"))
            screenStream = stream.toObject();
    const QSizeF rendered(screenStream[QStringLiteral("width")].toDouble(), screenStream[QStringLiteral("height")].toDouble());
    EXPECT_EQ(request.bubbleRect, CameraBubbleWindow::rectInRenderSpace(QRectF(bubbleFrame), QRectF(display), rendered));
    EXPECT_EQ(jobs[0].faceURL, takeFolder.filePath(QStringLiteral("face.mov")));
    EXPECT_NEAR(jobs[0].duration, 4.0, 0.5);

    // The bubble is one of the studio's own windows: the movie shows the desktop where it stood.
    const QPoint inside = bubbleFrame.center();
    int frames = 0, clean = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(raw, [&](double, const QImage& picture) {
        ++frames;
        clean += isRed(picture.pixel(inside.x() * picture.width() / display.width(), inside.y() * picture.height() / display.height()));
    }));
    EXPECT_GT(frames, 100);
    EXPECT_EQ(clean, frames);
}

TEST_F(ScreenTakeOnX11, theTeleprompterPanelNeverReachesTheMovie)
{
    X11TestWindow backdrop(*connection, QRect(0, 0, 1280, 720), 0xFF0000, {QStringLiteral("canvas"), QStringLiteral("Canvas"), QStringLiteral("red"), 0});
    backdrop.map();
    FakeVideoDeviceCatalog catalog;
    LinuxTakeServices services(LinuxTakeServices::Devices{&catalog, [](const QString&) { return CameraHubRegistry::Result{}; }});
    std::vector<SaveJobHandover> jobs;
    FakeAccessProbe access;
    TeleprompterWindow prompter(*settings, nullptr);
    prompter.model().setMode(PrompterMode::auto_);
    prompter.model().setText(QStringLiteral("Welcome back to the studio. Today we look at how a take becomes a movie."));
    Platform platform{*settings, access};
    platform.kinds = &StudioTakeKinds::standard();
    platform.takes = &services;
    platform.teleprompter = &prompter;
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    RecordingController controller(platform);
    holdSaveJobs(controller.finishQueue(), jobs);
    controller.setCountdownSeconds(0);
    QCoro::waitFor(controller.checkPermissionAndLoadDisplays());
    ASSERT_FALSE(controller.displays().empty());
    controller.setCameraEnabled(false);
    prompter.show(QGuiApplication::primaryScreen());
    spin(300);
    const QRect panel = prompter.panel()->geometry();
    ASSERT_TRUE(prompter.panel()->isVisible());

    QCoro::waitFor(controller.start());
    ASSERT_EQ(controller.phase().kind(), RecordingPhase::Kind::recording) << controller.phase().payload().toStdString();
    prompter.model().setScrolling(true);
    spin(1500);
    QCoro::waitFor(controller.stop());
    const QString raw = path(QStringLiteral("Recordings/video 1/raw.mov"));
    // The panel's page and its bar: every probe shows the red desktop in every frame.
    const std::vector<QPoint> probes{panel.center(), panel.topLeft() + QPoint(40, 40), QPoint(panel.center().x(), panel.bottom() - 20)};
    int frames = 0, clean = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(raw, [&](double, const QImage& picture) {
        ++frames;
        bool red = true;
        for (const QPoint& probe : probes)
            red = red && isRed(picture.pixel(probe));
        clean += red;
    }));
    EXPECT_GT(frames, 20);
    EXPECT_EQ(clean, frames);
}

} // namespace
