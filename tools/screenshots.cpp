// Writes the main window's pictures for the docs into the folder given as the first argument. Run it under
// an X server (scripts/screenshots.sh uses xvfb-run) so fonts and styles are the desktop's. It works in a
// private HOME, so the user's own settings and recordings are never touched.
#include "core/ProjectFolder.h"
#include "core/QuitGuard.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Settings.h"
#include "teleprompter/TeleprompterWindow.h"
#include "ui/ContentView.h"
#include "ui/MainWindow.h"
#include "ui/MotionSection.h"
#include "ui/StudioLayoutPreview.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScrollArea>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

class EveryAccess final : public AccessProbe {
public:
    Permissions::State screen() override { return Permissions::State::granted; }
    Permissions::State microphone() override { return Permissions::State::granted; }
    Permissions::State camera() override { return Permissions::State::granted; }
    Permissions::State inputMonitoring() override { return Permissions::State::granted; }
    Permissions::State speech() override { return Permissions::State::granted; }
};

CaptureDeviceInfo device(const QString& id, const QString& name, int rank = 0)
{
    CaptureDeviceInfo info;
    info.uniqueID = id;
    info.localizedName = name;
    info.rank = rank;
    return info;
}

void settle()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: olvennar_screenshots <folder>\n");
        return 2;
    }
    const QTemporaryDir home;
    if (!home.isValid())
        return 1;
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        unsetenv(name);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Olvennar"));
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    Settings settings(home.filePath(QStringLiteral("settings.conf")));
    // Where a user's recordings go by default, so the paths read "~/Videos/...".
    settings.setString(QString::fromLatin1(SaveLocation::settingsKey), home.filePath(QStringLiteral("Videos/Olvennar")));
    settings.setString(QStringLiteral("projectsRoot"), home.filePath(QStringLiteral("Projects")));
    EveryAccess access;
    RecordingController controller(Platform{settings, access});
    controller.setHasScreenPermission(true);
    controller.setMicPermission(Permissions::State::granted);
    controller.setCameraPermission(Permissions::State::granted);
    controller.refreshDestinationName();
    QuitGuard guard;
    MainWindow window(controller, guard);
    TeleprompterWindow teleprompter(settings, nullptr);
    teleprompter.model().setText(QStringLiteral("Today we look at the export preview. It shows the card where the video will put it."));
    window.content()->placeTeleprompter(teleprompter);
    controller.setDisplays({{1, 1920, 1080, QStringLiteral("Built-in screen")}});
    controller.setSelectedDisplayID(1);
    controller.setMicrophones({device(QStringLiteral("usb"), QStringLiteral("USB Condenser Mic"), 2),
        device(QStringLiteral("builtin"), QStringLiteral("Built-in Audio Analog Stereo"), 1)});
    controller.setSelectedMicrophoneID(QStringLiteral("usb"));
    settings.setString(RecordingController::Keys::preferredMicName(), QStringLiteral("USB Condenser"));
    controller.setCameras({device(QStringLiteral("cam"), QStringLiteral("HD Webcam C920"))});
    controller.setSelectedCameraID(QStringLiteral("cam"));
    controller.setCameraEnabled(true);
    window.show();

    bool saved = true;
    const auto save = [&](const char* name) {
        settle();
        window.adjustSize();
        settle();
        const QString file = out.filePath(QString::fromLatin1(name));
        if (!window.grab().toImage().save(file)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file));
            saved = false;
        }
    };

    save("main-window-idle.png");

    // The look and motion section with its export preview (the camera's stand-in in the card).
    auto* motion = window.content()->findChild<MotionSection*>();
    window.content()->scrollArea()->ensureWidgetVisible(motion->preview(), 0, 0);
    QElapsedTimer waited;
    waited.start();
    while (motion->preview()->framesShown() < 1 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    save("main-window-motion.png");
    window.content()->scrollArea()->ensureWidgetVisible(window.content()->findChild<QWidget*>(QStringLiteral("remoteExplanation")), 0, 0);
    save("main-window-remote.png");
    window.content()->scrollArea()->ensureVisible(0, 0);

    // The job rows under the transport: one render waiting for a break, one ready, one failed.
    const QString videos = home.filePath(QStringLiteral("Videos/Olvennar"));
    controller.finishQueue().setFinishJobs({
        {QUuid::createUuid(), QStringLiteral("video 3 · take 1 video"), {FinishJob::State::Kind::done, 1, videos + QStringLiteral("/video 3/final.mov"), {}}},
        {QUuid::createUuid(), QStringLiteral("video 4 · take 1 video"), {FinishJob::State::Kind::failed, 0, {}, QStringLiteral("Mixdown failed: no screen movie")}},
        {QUuid::createUuid(), QStringLiteral("video 4 · take 2 video"), {FinishJob::State::Kind::working, 0.426, {}, {}}},
    });
    controller.setFinishWaitingForBreak(true);
    save("main-window-queues.png");
    controller.finishQueue().setFinishJobs({});
    controller.setFinishWaitingForBreak(false);

    controller.setCaptureMode(CaptureMode::cameraOnly);
    save("main-window-just-me.png");
    window.content()->scrollArea()->ensureWidgetVisible(window.content()->findChild<QWidget*>(QStringLiteral("teleprompterSection"), Qt::FindChildrenRecursively), 0, 0);
    save("main-window-just-me-teleprompter.png");
    window.content()->scrollArea()->ensureVisible(0, 0);
    controller.setCaptureMode(CaptureMode::short_);
    save("main-window-short.png");
    controller.setCaptureMode(CaptureMode::screen);

    controller.setPhase(RecordingPhase::recording());
    controller.setElapsed(83.4);
    controller.setZoomMarkCount(2);
    save("main-window-recording.png");

    const QString project = ProjectFolder::nextProjectURL(settings, RecordingChannel::ai);
    controller.setZoomMarkCount(0);
    controller.setPhase(RecordingPhase::finished(QDir(project).filePath(QStringLiteral("final.mov"))));
    save("main-window-finished.png");

    // Without screen access the prompt stands in for the settings.
    controller.reset();
    controller.setHasScreenPermission(false);
    save("main-window-screen-access.png");
    controller.setCaptureMode(CaptureMode::voice);
    save("main-window-voice.png");
    return saved ? 0 : 1;
}
