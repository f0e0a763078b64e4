// The one stop of the studio and the screen take's stop: halt the inputs, measure the panels, close the
// movies one after another, write the sidecars, plan the zooms and layout, and hand the take to the save job.
#include "core/RecordingController.h"

#include "capture/ClickTracker.h"
#include "capture/PointerTracker.h"
#include "capture/ScreenRecorder.h"
#include "platform/system/Diagnostics.h"
#include "takedata/RecordingClock.h"
#include "plans/LayoutSignals.h"
#include "plans/LayoutTimeline.h"
#include "plans/ZoomActivity.h"
#include "plans/ZoomTimeline.h"
#include "framing/CameraBubbleWindow.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/AtomicFile.h"
#include "takes/OverlayRecorder.h"
#include "finishing/SaveJobHandover.h"
#include "takes/TakeServices.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcorofuture.h>

namespace {

bool recordingOrPaused(const RecordingPhase& phase)
{
    return phase.kind() == RecordingPhase::Kind::recording || phase.kind() == RecordingPhase::Kind::paused;
}

QString yesNo(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

// Replaced whole or not at all; a failed write is logged and the stop goes on.
void writeSidecar(const QString& path, const std::optional<QByteArray>& bytes, const QString& purpose)
{
    const auto error = bytes ? AtomicFile::write(path, *bytes, purpose) : std::optional<QString>(QStringLiteral("a value could not be encoded"));
    if (error)
        Diagnostics::log(QStringLiteral("stop: could not write ") + QFileInfo(path).fileName() + QStringLiteral(": ") + *error);
}

double movieSeconds(const QString& path)
{
    const auto asset = MovieAsset::open(path);
    if (const auto* movie = std::get_if<MovieAsset>(&asset))
        return movie->duration().seconds();
    return 0;
}

} // namespace

QCoro::Task<> RecordingController::stop()
{
    if (!recordingOrPaused(phase_))
        co_return;
    const bool byRemote = stopCameFromRemote_;
    stopCameFromRemote_ = false;
    // The camera-only and voice takes have their own stops.
    if (captureMode_ != CaptureMode::screen)
        co_return;
    co_await stopScreen(byRemote);
}

QCoro::Task<> RecordingController::stopScreen(bool byRemote, bool keepsFailedMovie)
{
    if (!screenRecorder_ || !projectFolder_)
        co_return;
    QPointer<RecordingController> weak(this);
    const QString folder = *projectFolder_;
    const QString suffix = takeSuffix_;
    const QDir dir(folder);
    const auto file = [&](const QString& word, const QString& extension) { return dir.filePath(word + suffix + extension); };

    stopInputs();
    setPhase(Phase::finishing());

    // Measured before anything stops, while the panels still stand where they stood during the take.
    const QSizeF renderSize(screenRecorder_->pixelSize());
    QRectF bubbleRect, phoneRect;
    double bubbleCornerRadius = 0, phoneCornerRadius = 0;
    if (const auto screen = selectedScreen()) {
        const double screenHeight = screen->display.frame.height();
        const double scale = screenHeight > 0 ? renderSize.height() / screenHeight : 1;
        if (bubbleWindow_) {
            bubbleRect = bubbleWindow_->rectInRenderSpace(screen->display.frame, renderSize);
            bubbleCornerRadius = scale * (bubbleShape_ == BubbleShape::square ? 0.22 : 0.5) * bubbleSize_;
        }
        if (phoneWindow_) {
            phoneRect = phoneWindow_->rectInRenderSpace(screen->display.frame, renderSize);
            phoneCornerRadius = scale * 22;
        }
    }

    // Awaited through a named future: the result is read once the future is done.
    QFuture<ScreenRecorder::StopResult> stopping = screenRecorder_->stop();
    co_await stopping;
    if (!weak)
        co_return;
    const ScreenRecorder::StopResult stopped = stopping.result();
    OverlayRecorder* camera = cameraRecorder();
    OverlayRecorder* phone = phoneRecorder();
    if (stopped.error && stopped.url && keepsFailedMovie)
        Diagnostics::log(stopped.error->info(), QStringLiteral("stop: saving what was written"));
    else if (stopped.error || !stopped.url) {
        const auto error = stopped.error.value_or(ScreenRecorder::RecorderError::writerFailed(QStringLiteral("no movie")));
        Diagnostics::log(error.info(), QStringLiteral("stop"));
        // The other movies are closed all the same; every file of the take stays.
        if (camera)
            co_await camera->stopRecording();
        if (weak && phone)
            co_await phone->stopRecording();
        if (!weak)
            co_return;
        setPhase(Phase::failed(error.errorDescription()));
        screenRecorder_.reset();
        discardEmptyProjectFolder();
        settleOverlayWindows();
        co_return;
    }
    const QString rawURL = *stopped.url;
    std::optional<QString> cameraURL, phoneURL;
    if (camera)
        cameraURL = co_await camera->stopRecording();
    if (weak && phone)
        phoneURL = co_await phone->stopRecording();
    if (!weak)
        co_return;
    const std::vector<ClipSegment> cameraSegments = camera ? ClipSegment::coveringLateStart(camera->recordedSegments(), 2.5) : std::vector<ClipSegment>{};
    const std::vector<ClipSegment> phoneSegments = phone ? phone->recordedSegments() : std::vector<ClipSegment>{};

    const std::vector<Click> clicks = clickTracker_->recorded();
    if (!clicks.empty())
        writeSidecar(file(QStringLiteral("clicks"), QStringLiteral(".json")), ClickTracker::encoded(clicks), QStringLiteral("clicks"));
    const PointerLog log = pointerTracker_->log(!takeDrawsOwnCursor_);
    writeSidecar(file(QStringLiteral("cursor"), QStringLiteral(".json")), log.encoded(), QStringLiteral("cursor"));

    Mixdown::Request request;
    request.rawURL = rawURL;
    request.cameraURL = cameraURL;
    request.phoneURL = phoneURL;
    request.bubbleRect = bubbleRect;
    request.bubbleCornerRadius = bubbleCornerRadius;
    request.bubbleShape = bubbleShape_;
    request.bubbleTilt = bubbleTilt_;
    request.phoneRect = phoneRect;
    request.phoneCornerRadius = phoneCornerRadius;
    request.phoneShowsFrame = phoneShowsFrame_;
    request.cameraSegments = cameraSegments;
    request.phoneSegments = phoneSegments;
    request.clicks = clicks;
    request.showClickHighlight = clickHighlight_;
    request.frameRate = 60;
    request.layout = screenLayout_;
    request.faceLayout = faceLayout_;
    request.cameraGrade = cameraGrade_;
    request.background = studioBackground_;

    const std::optional<PointerPath> samplesPath = PointerPath::fromSamples(log.samples);
    const std::vector<double> keys = log.keys.value_or(std::vector<double>{});
    const ZoomActivity activity{clicks, keys, samplesPath, log.marks()};
    const ZoomTimeline zoom = ZoomTimeline::build(zoomMode_, activity, zoomAmount_);
    request.zoom = zoom;
    if (frameFocusedWindow_ && log.windows) {
        const FocusPath path(*log.windows);
        const bool framesSomething = std::any_of(path.keys.begin(), path.keys.end(), [](const FocusPath::Key& key) { return key.rect != QRectF(0, 0, 1, 1); });
        if (framesSomething)
            request.focus = path;
    }
    if (screenLayout_ == ScreenLayout::studio)
        request.outputSize = export4K_ && renderSize.width() >= 2560 ? QSizeF(3840, 2160) : QSizeF(1920, 1080);
    if (takeDrawsOwnCursor_) {
        std::optional<PointerPath> path = samplesPath ? samplesPath : PointerPath::fromClicks(clicks);
        if (path) {
            path->shapeKeys = log.shapeKeys();
            request.pointer = path;
        }
    }
    saveZoomSidecar(zoom, zoomMode_, file(QStringLiteral("zoom"), QStringLiteral(".json")));

    QFuture<double> loadingDuration = QtConcurrent::run(movieSeconds, rawURL);
    co_await loadingDuration;
    if (!weak)
        co_return;
    const double duration = loadingDuration.result();
    request.layoutTimeline = LayoutTimeline::fixed();
    if (layoutMode_ == LayoutMode::dynamic && screenLayout_ == ScreenLayout::studio && studioBackground_ != StudioBackground::darkRoom && cameraURL) {
        QFuture<LayoutSignals> loadingSignals = QtConcurrent::run([rawURL] { return LayoutSignals::load(rawURL); });
        co_await loadingSignals;
        if (!weak)
            co_return;
        const LayoutSignals signals = loadingSignals.result();
        const LayoutTimeline timeline = LayoutTimeline::build(duration, clicks, keys, samplesPath, zoom, signals, cameraSegments);
        request.layoutTimeline = timeline;
        writeSidecar(file(QStringLiteral("layout"), QStringLiteral(".json")),
            QJsonDocument(timeline.sidecar(layoutMode_, duration)).toJson(QJsonDocument::Indented), QStringLiteral("layout"));
        Diagnostics::log(timeline.report(duration));
    }

    const QString folderName = QFileInfo(folder).fileName();
    bool numbered = false;
    const int number = suffix.isEmpty() ? 1 : suffix.mid(1).toInt(&numbered);
    const int takeNumber = suffix.isEmpty() || numbered ? number : 1;
    SaveJobHandover job;
    job.id = QUuid::createUuid();
    job.title = folderName + QStringLiteral(" · take ") + QString::number(takeNumber);
    job.faceURL = cameraURL ? std::optional<QString>(file(QStringLiteral("face"), QStringLiteral(".mov"))) : std::nullopt;
    job.takeJSON = file(QStringLiteral("take"), QStringLiteral(".json"));
    job.previewURL = file(QStringLiteral("final"), QStringLiteral(".mov"));
    job.duration = duration;
    job.cameraSegments = cameraSegments;
    job.look = harnessLook();
    job.stopSidecar = file(QStringLiteral("stop"), QStringLiteral(".json"));
    job.byRemote = byRemote;
    const int moves = std::max(0, static_cast<int>(request.layoutTimeline.stops.size()) - 1);
    job.summary = QStringLiteral("finished ") + folderName + QStringLiteral(" — camera:") + yesNo(cameraURL.has_value()) + QLatin1Char(' ')
        + QStringLiteral("phone:") + yesNo(phoneURL.has_value()) + QStringLiteral(" phoneSegments:") + describe(phoneSegments) + QLatin1Char(' ')
        + QStringLiteral("clicks:") + QString::number(clicks.size()) + QStringLiteral(" pointer:") + QString::number(log.samples.size()) + QLatin1Char(' ')
        + QStringLiteral("layout:") + StudioLook::rawText(screenLayout_) + QLatin1Char('/') + StudioLook::rawText(faceLayout_) + QLatin1Char('/')
        + StudioLook::rawText(studioBackground_) + QLatin1Char(' ') + QStringLiteral("ownCursor:") + yesNo(takeDrawsOwnCursor_) + QStringLiteral(" zoom:")
        + ZoomModes::rawText(zoomMode_) + QLatin1Char('=') + QString::number(zoom.segments.size()) + QLatin1Char(' ') + QStringLiteral("layoutMode:")
        + LayoutModes::rawText(layoutMode_) + QLatin1Char('=') + QString::number(moves) + QStringLiteral(" moves ") + QStringLiteral("keys:")
        + QString::number(keys.size()) + QStringLiteral(" marks:") + QString::number(log.marks().size());
    job.request = std::move(request);

    screenRecorder_.reset();
    if (createdProjectFolder_)
        setDestinationFolder(folder);
    projectFolder_.reset();
    refreshDestinationName();
    settleOverlayWindows();
    setPhase(Phase::idle());

    finishJobs_.push_back(FinishJob{job.id, job.title, FinishJob::State{}});
    Q_EMIT changed();
    if (platform_.takes)
        platform_.takes->queueSaveJob(job);
}
