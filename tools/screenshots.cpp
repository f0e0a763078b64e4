// Writes the main window's and the short windows' pictures for the docs into the folder given as the first
// argument; the second, optional, is a portrait that stands in for the camera of the "Short frame" window. Run
// it under an X server (scripts/screenshots.sh uses xvfb-run) so fonts and styles are the desktop's. It works in
// a private HOME, so the user's own settings and recordings are never touched.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/ProjectFolder.h"
#include "core/QuitGuard.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Settings.h"
#include "framing/FramingMonitor.h"
#include "framing/FramingRules.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferViews.h"
#include "takedata/CameraFrameTap.h"
#include "ui/ContentView.h"
#include "ui/MainWindow.h"
#include "ui/MotionSection.h"
#include "ui/ShortPreviewSources.h"
#include "ui/ShortPreviewWindow.h"
#include "ui/ShortWindows.h"
#include "ui/StudioLayoutPreview.h"
#include "views/shorts/ShortReplayWindow.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
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

void runFor(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A landscape camera picture: the portrait a little left of centre on a dim studio wall.
std::shared_ptr<PixelBuffer> cameraPicture(const QString& portraitPath)
{
    auto pixels = std::make_shared<PixelBuffer>(1920, 1080);
    QImage canvas = PixelBufferViews::image(*pixels);
    QPainter painter(&canvas);
    QLinearGradient wall(0, 0, 1920, 1080);
    wall.setColorAt(0, QColor(58, 66, 74));
    wall.setColorAt(1, QColor(24, 27, 31));
    painter.fillRect(canvas.rect(), wall);
    const QImage portrait(portraitPath);
    if (!portrait.isNull()) {
        const QImage scaled = portrait.scaledToHeight(1080, Qt::SmoothTransformation);
        painter.drawImage(QPointF(860 - scaled.width() / 2.0, 0), scaled);
    }
    return pixels;
}

// The short preview's inputs from a still camera picture and a real framing monitor over it.
class StillShortSources final : public ShortPreviewSources {
public:
    StillShortSources(const RecordingController& controller, std::shared_ptr<CameraFrameTap> tap)
        : controller_(controller)
        , tap_(std::move(tap))
    {
        monitor_.setMessageProvider(FramingRules::phoneMessage);
        monitor_.setGoodAdvice({FramingStatus::good, {QStringLiteral("Framing looks good")}});
        monitor_.update({FramingCropSpec::short_()}, false, tap_, false);
    }
    std::shared_ptr<const LivePreviewSource> livePreview() override
    {
        if (!live_ || live_->mirrored != flipped_)
            live_ = std::make_shared<const LivePreviewSource>(LivePreviewSource {tap_, flipped_});
        return live_;
    }
    FramingMonitor& framing() override { return monitor_; }
    std::optional<NextTake> headerScript() override { return script; }
    void ignoreNextTake() override { script.reset(); }
    // The tap holds the file's picture; the whole-camera view shows it as the mirror setting says.
    void setViewerView(bool viewerView) override { flipped_ = !viewerView && controller_.mirrorCamera() != controller_.shortMirrorFile(); }

    std::optional<NextTake> script;

private:
    const RecordingController& controller_;
    std::shared_ptr<CameraFrameTap> tap_;
    std::shared_ptr<const LivePreviewSource> live_;
    bool flipped_ = false;
    FramingMonitor monitor_;
};

} // namespace

int main(int argc, char** argv)
{
    // An option where the folder goes would become a folder of that name.
    if ((argc != 2 && argc != 3) || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: olvennar_screenshots <folder> [portrait]\n");
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
    Platform platform{settings, access};
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    RecordingController controller(platform);
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
    QElapsedTimer previewWait;
    previewWait.start();
    while (motion->preview()->framesShown() < 1 && previewWait.elapsed() < 5000)
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
    window.hide();

    // The short windows over a still camera picture that the real framing monitor analyses.
    auto tap = std::make_shared<CameraFrameTap>();
    tap->store(cameraPicture(argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString()));
    StillShortSources sources(controller, tap);
    NextTake script;
    script.scriptID = QStringLiteral("s12");
    script.title = QStringLiteral("Morning light");
    sources.script = script;
    ShortWindows shortWindows(controller, sources, nullptr);
    controller.setCaptureMode(CaptureMode::short_);
    controller.setShortFrameSize(QSizeF(1920, 1080));
    controller.setShortPosition({0.42, 0.5});
    shortWindows.openPreview();
    ShortPreviewWindow* preview = shortWindows.preview();
    QElapsedTimer waited;
    waited.start();
    while (!sources.framing().report().face && waited.elapsed() < 10000)
        runFor(50);
    runFor(300);
    const auto saveShort = [&](QWidget& shown, const char* name) {
        settle();
        const QString file = out.filePath(QString::fromLatin1(name));
        if (!shown.grab().toImage().save(file)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file));
            saved = false;
        }
    };
    saveShort(*preview, "short-frame.png");
    controller.setPhase(RecordingPhase::recording());
    controller.setElapsed(47.2);
    saveShort(*preview, "short-frame-recording.png");
    controller.setPhase(RecordingPhase::idle());
    controller.setElapsed(0);
    preview->setViewerView(true);
    saveShort(*preview, "short-frame-viewer.png");

    QProcess ffmpeg;
    const QString movie = home.filePath(QStringLiteral("2026-05-01-s12-short-2/short.mov"));
    QDir().mkpath(QFileInfo(movie).path());
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=1080x1920:r=30:d=3", "-c:v", "libx264",
                                               "-preset", "ultrafast", "-pix_fmt", "yuv420p", movie});
    if (ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0) {
        shortWindows.play(movie);
        runFor(1200);
        saveShort(*shortWindows.replay(), "short-replay.png");
    }
    shortWindows.closeAll();
    return saved ? 0 : 1;
}
