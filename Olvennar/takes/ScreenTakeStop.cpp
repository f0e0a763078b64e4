// The screen take's stop: halt the inputs, measure the panels, close the movies one after another, write
// the sidecars, plan the zooms and layout, and hand the take to the save job.
#include "platform/system/WorkerPool.h"
#include "takes/ScreenTake.h"

#include "capture/ClickTracker.h"
#include "capture/PointerTracker.h"
#include "capture/ScreenRecorder.h"
#include "platform/system/Diagnostics.h"
#include "plans/LayoutSignals.h"
#include "platform/media/MovieAsset.h"
#include "takes/OverlayRecorder.h"
#include "finishing/PendingRender.h"
#include "finishing/SaveJobHandover.h"
#include "takes/ScreenStopPlan.h"
#include "takes/TakeHost.h"
#include "takes/TakeFiles.h"
#include "takes/TakeServices.h"

#include <QFileInfo>
#include <QPointer>

#include <qcorofuture.h>

namespace {

double movieSeconds(const QString& path)
{
    const auto asset = MovieAsset::open(path);
    if (const auto* movie = std::get_if<MovieAsset>(&asset))
        return movie->duration().seconds();
    return 0;
}

} // namespace

QCoro::Task<> ScreenTake::stop(bool byRemote)
{
    QCoro::Task<bool> stopping = stopScreen(byRemote, std::nullopt);
    co_await std::move(stopping);
}

QCoro::Task<bool> ScreenTake::stopScreen(bool byRemote, std::optional<ScreenRecorder::RecorderError> failure)
{
    if (!screenRecorder_ || !folder_)
        co_return false;
    QPointer<ScreenTake> weak(this);
    stopTrackers();

    StoppedScreenTake stopped;
    // Measured before anything stops, while the panels still stand where they stood during the take.
    stopped.renderSize = QSizeF(screenRecorder_->pixelSize());
    stopped.panels = host_.measurePanels(stopped.renderSize);
    QFuture<ScreenRecorder::StopResult> stopping = screenRecorder_->stop();
    co_await stopping;
    if (!weak)
        co_return false;
    const ScreenRecorder::StopResult result = stopping.result();
    const bool failedDuringTake = failure.has_value();
    failure = ScreenStopPlan::endingFailure(failure, result);
    const ScreenRecorder::RecorderError stopError = result.error.value_or(ScreenRecorder::RecorderError::writerFailed(QStringLiteral("no movie")));
    if (result.url)
        folder_ = TakeFiles::followMovie(*folder_, *result.url);
    bool hasPicture = result.url && !result.error;
    if (result.error && result.url && failure) {
        Diagnostics::log(result.error->info(), QStringLiteral("stop: saving what was written"));
        QFuture<double> probing = WorkerPool::takes().run(movieSeconds, *result.url);
        co_await probing;
        if (!weak)
            co_return false;
        hasPicture = probing.result() > 0;
    } else if (!hasPicture) {
        Diagnostics::log(stopError.info(), QStringLiteral("stop"));
    }
    if (!hasPicture) {
        // The other movies are closed all the same.
        screenRecorder_.reset();
        QCoro::Task<bool> closing = stopRecorders();
        if (!co_await std::move(closing))
            co_return false;
        const bool movieLost = stopError.kind() == ScreenRecorder::RecorderError::Kind::movieLost;
        if (movieLost) {
            // The folder is no longer where the take put it: nothing there is the take's any more.
            folder_.reset();
            host_.ended({.failure = stopError.errorDescription()});
        } else if (failure && failure->kind() != ScreenRecorder::RecorderError::Kind::diskFull) {
            // The folder stays as the failure left it, even empty: the failure is shown, nothing of the take is tidied.
            Diagnostics::log(QStringLiteral("take stopped after a recorder failure; its files stay in ") + QFileInfo(folder_->path).fileName());
            folder_.reset();
            host_.ended({});
        } else if (failure && result.url && failedDuringTake) {
            // Not one picture reached a full disk: nothing is a take, so none of its files or a folder it made stay.
            TakeFiles::discardTake(std::exchange(folder_, std::nullopt));
            host_.ended({});
        } else if (failure && result.url) {
            // The disk filled as the take stopped and its movie cannot be read back: the recorder wrote it up to
            // the full disk, so it stays as it is, never deleted, and the recorder's words say what it holds.
            Diagnostics::log(QStringLiteral("take stopped on a full disk; its movie could not be read back and stays in ") + QFileInfo(folder_->path).fileName());
            folder_.reset();
            host_.ended({});
            host_.settleOverlayWindows();
            host_.fail(failure->errorDescription());
            co_return false;
        } else {
            // Every file of the take stays.
            abandon(stopError.errorDescription());
        }
        host_.settleOverlayWindows();
        if (failure && !movieLost)
            host_.fail(ScreenStopPlan::failureNotice(*failure, std::nullopt, QString()));
        co_return false;
    }
    if (failure)
        Diagnostics::log(QStringLiteral("take stopped after a recorder failure; what it recorded is saved in ") + QFileInfo(folder_->path).fileName());
    stopped.rawURL = *result.url;
    QCoro::Task<bool> closing = stopOverlays(stopped);
    if (!co_await std::move(closing))
        co_return false;
    stopped.clicks = clickTracker_->recorded();
    stopped.log = pointerTracker_->log(!takeDrawsOwnCursor_);
    stopped.takeDrawsOwnCursor = takeDrawsOwnCursor_;
    QCoro::Task<> finishing = finishStop(std::move(stopped), *folder_, byRemote, std::move(failure));
    co_await std::move(finishing);
    co_return true;
}

QCoro::Task<bool> ScreenTake::stopOverlays(StoppedScreenTake& stopped)
{
    QPointer<ScreenTake> weak(this);
    OverlayRecorder& camera = services_->cameraRecorder();
    OverlayRecorder& phone = services_->phoneRecorder();
    stopped.cameraURL = co_await camera.stopRecording();
    if (!weak)
        co_return false;
    stopped.phoneURL = co_await phone.stopRecording();
    if (!weak)
        co_return false;
    // A camera that came up a little late still covers the take from its start.
    stopped.cameraSegments = ClipSegment::coveringLateStart(camera.recordedSegments(), 2.5);
    stopped.phoneSegments = phone.recordedSegments();
    co_return true;
}

QCoro::Task<> ScreenTake::finishStop(StoppedScreenTake stopped, TakeFolder folder, bool byRemote, std::optional<ScreenRecorder::RecorderError> failure)
{
    QPointer<ScreenTake> weak(this);
    const TakeLook look = host_.look();
    // Read and written through the held folder until the hand-over: the take's folder renamed or moved during
    // the stop is still where the stop reads the take and writes its files, and the hand-over names it where
    // it lies then.
    const TakeFolder reached = folder.reached();
    const QString rawReached = HeldFolder::moved(stopped.rawURL, folder.path, reached.path);
    // What a full disk refuses goes with the job, whose save and render write it again.
    HeldSidecars refused;
    ScreenStopPlan::writeInputSidecars(reached, stopped, refused);
    const ZoomTimeline zoom = ScreenStopPlan::zoom(stopped, look);
    Mixdown::Request request = ScreenStopPlan::mixdownRequest(stopped, look, zoom);
    ScreenStopPlan::saveZoomSidecar(zoom, look.zoomMode, reached.file(QStringLiteral("zoom"), QStringLiteral(".json")), refused);

    QFuture<double> loadingDuration = WorkerPool::takes().run(movieSeconds, rawReached);
    co_await loadingDuration;
    if (!weak)
        co_return;
    const double duration = loadingDuration.result();
    if (ScreenStopPlan::movesLayout(look, stopped.cameraURL.has_value())) {
        QFuture<LayoutSignals> loadingSignals = WorkerPool::takes().run([rawReached] { return LayoutSignals::load(rawReached); });
        co_await loadingSignals;
        if (!weak)
            co_return;
        request.layoutTimeline = ScreenStopPlan::layoutTimeline(duration, stopped, zoom, loadingSignals.result());
        ScreenStopPlan::writeLayoutSidecar(reached.file(QStringLiteral("layout"), QStringLiteral(".json")), request.layoutTimeline, look.layoutMode,
            duration, refused);
        Diagnostics::log(request.layoutTimeline.report(duration));
    }
    const QString stoppedIn = folder.path;
    folder = TakeFiles::followHeld(folder);
    PendingRender::move(request, stoppedIn, folder.path);
    stopped.rawURL = request.rawURL;
    stopped.cameraURL = request.cameraURL;
    stopped.phoneURL = request.phoneURL;
    refused.moveTo(reached.path, folder.path);
    SaveJobHandover job = ScreenStopPlan::saveJob(folder, stopped, look, std::move(request), duration, byRemote);
    job.refusedSidecars = std::move(refused);
    job.folder = folder.held;
    // Known by what they are from now on: a file filmed later under one of their names is another take's.
    job.pieces.holdPresent(reached.file(QStringLiteral("final"), QStringLiteral(".mov")));

    const ScreenRecorder::Statistics counts = screenRecorder_ ? screenRecorder_->statistics() : ScreenRecorder::Statistics{};
    const std::optional<QString> lostFrames = ScreenStopPlan::lostFramesNotice(counts.framesWritten, counts.framesDropped + counts.framesMissed);
    // The recorder's queues join and its frame pools unmap on the take's pool, with the clock it reads.
    std::shared_ptr<ScreenRecorder> finished = std::move(screenRecorder_);
    std::shared_ptr<RecordingClock> finishedClock = clock_;
    folder_.reset();
    host_.ended({.folder = folder, .kept = true});
    host_.settleOverlayWindows();
    host_.enter(TakeStep::idle);
    host_.handOver(job);
    // Said once the take is on its way to the save, before anything else may start. A failure that ended the
    // take says why and what was kept. Otherwise the take was kept whole, so lost frames are information, not
    // a failure, and the finished file's row and note still show after it.
    if (failure)
        host_.fail(ScreenStopPlan::failureNotice(*failure, duration, QFileInfo(stopped.rawURL).fileName()));
    else if (lostFrames)
        host_.inform(*lostFrames);
    QFuture<void> releasing = WorkerPool::takes().run([finished = std::move(finished), finishedClock = std::move(finishedClock)]() mutable {
        finished.reset();
        finishedClock.reset();
    });
    co_await releasing;
}
