// Writes the window's pictures for the docs when OLVENNAR_SCREENSHOT_DIR names a folder; run under an X
// server (xvfb-run) so fonts and styles are the desktop's.
#include "WindowTest.h"

#include "core/ProjectFolder.h"
#include "core/QuitGuard.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QImage>
#include <QPixmap>

namespace {

class WindowScreenshotsTest : public WindowTest {
protected:
    void SetUp() override
    {
        folder = qEnvironmentVariable("OLVENNAR_SCREENSHOT_DIR");
        if (folder.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "set OLVENNAR_SCREENSHOT_DIR and run under an X server to write the screenshots";
        WindowTest::SetUp();
        view->hide();
        // Where a user's recordings go by default, so the paths read "~/Videos/...".
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), TestEnvironment::home() + QStringLiteral("/Videos/Olvennar"));
        controller->refreshDestinationName();
        window = std::make_unique<MainWindow>(*controller, guard);
        controller->setDisplays({{1, 1920, 1080, QStringLiteral("Built-in screen")}});
        controller->setSelectedDisplayID(1);
        controller->setMicrophones({device(QStringLiteral("usb"), QStringLiteral("USB Condenser Mic"), 2),
            device(QStringLiteral("builtin"), QStringLiteral("Built-in Audio Analog Stereo"), 1)});
        controller->setSelectedMicrophoneID(QStringLiteral("usb"));
        settings->setString(RecordingController::Keys::preferredMicName(), QStringLiteral("USB Condenser"));
        controller->setCameras({device(QStringLiteral("cam"), QStringLiteral("HD Webcam C920"))});
        controller->setSelectedCameraID(QStringLiteral("cam"));
        controller->setCameraEnabled(true);
        window->show();
        settle();
    }

    void save(const QString& name)
    {
        settle();
        window->adjustSize();
        settle();
        const QImage image = window->grab().toImage();
        ASSERT_TRUE(image.save(QDir(folder).filePath(name))) << name.toStdString();
    }

    QString folder;
    QuitGuard guard;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowScreenshotsTest, idleDuringAndAfterATake)
{
    save(QStringLiteral("main-window-idle.png"));

    controller->setPhase(RecordingPhase::recording());
    controller->setElapsed(83.4);
    controller->setZoomMarkCount(2);
    save(QStringLiteral("main-window-recording.png"));

    const QString project = ProjectFolder::nextProjectURL(*settings, RecordingChannel::ai);
    controller->setZoomMarkCount(0);
    controller->setPhase(RecordingPhase::finished(QDir(project).filePath(QStringLiteral("final.mov"))));
    save(QStringLiteral("main-window-finished.png"));

    // Without screen access the prompt stands in for the settings.
    controller->reset();
    controller->setHasScreenPermission(false);
    save(QStringLiteral("main-window-screen-access.png"));
    controller->setCaptureMode(CaptureMode::voice);
    save(QStringLiteral("main-window-voice.png"));
}

} // namespace
