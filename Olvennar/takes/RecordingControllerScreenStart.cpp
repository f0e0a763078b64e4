// The one entry that begins a take, the screen take's start and pause, and the shared take helpers.
#include "core/RecordingController.h"

#include "capture/ClickTracker.h"
#include "capture/PointerTracker.h"
#include "capture/ScreenGeometry.h"
#include "capture/ScreenRecorder.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Permissions.h"
#include "core/ProjectFolder.h"
#include "takedata/RecordingClock.h"
#include "framing/CameraBubbleWindow.h"
#include "framing/CountdownWindow.h"
#include "platform/system/CancelToken.h"
#include "platform/system/MainThread.h"
#include "takes/OverlayRecorder.h"
#include "takes/TakeServices.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>

#include <qcorofuture.h>

namespace {

const QString microphoneRefused = QStringLiteral(
    "Microphone access is off, so the take would have no voice. Make sure PulseAudio or PipeWire runs for your session, then reopen "
    "the app. Or switch Microphone off to record without it.");
const QString cameraRefused = QStringLiteral(
    "Camera access is off. Add your user to the \"video\" group and log out and in again, then reopen the app. Or switch the camera "
    "bubble off.");

} // namespace

QCoro::Task<> RecordingController::start()
{
    // A second start while the first still awaits access or its countdown would begin a second take.
    if (phase_.isBusy() || startInFlight_)
        co_return;
    // The camera-only and voice takes have their own starts.
    if (captureMode_ != CaptureMode::screen)
        co_return;
    QPointer<RecordingController> weak(this);
    startInFlight_ = true;
    co_await startScreen();
    if (weak)
        weak->startInFlight_ = false;
}

QCoro::Task<> RecordingController::startScreen()
{
    QPointer<RecordingController> weak(this);
    const auto screen = selectedScreen();
    const bool displayListed = selectedDisplayID_
        && std::any_of(displays_.begin(), displays_.end(), [this](const DisplayInfo& display) { return display.displayID == *selectedDisplayID_; });
    if (!displayListed || !screen || screen->display.id != *selectedDisplayID_ || !platform_.takes) {
        setPhase(Phase::failed(QStringLiteral("Pick a display first.")));
        co_return;
    }
    setLastFinalURL(std::nullopt);

    if (captureMicrophone_) {
        const bool granted = co_await Permissions::requestMicrophone(platform_.access);
        if (!weak)
            co_return;
        if (!granted) {
            refreshPermissions();
            setPhase(Phase::failed(microphoneRefused));
            Diagnostics::log(QStringLiteral("start aborted: microphone permission denied"));
            co_return;
        }
    }
    if (cameraEnabled_) {
        const bool granted = co_await Permissions::requestCamera(platform_.access);
        if (!weak)
            co_return;
        if (!granted) {
            refreshPermissions();
            setPhase(Phase::failed(cameraRefused));
            Diagnostics::log(QStringLiteral("start aborted: camera permission denied"));
            co_return;
        }
    }
    refreshPermissions();

    if (countdownSeconds_ > 0) {
        setPhase(Phase::countingDown());
        auto* token = new CancelToken(this);
        countdownToken_ = token;
        const bool completed = co_await countdown_->run(screen->display.frame, countdownSeconds_, token);
        if (!weak)
            co_return;
        countdownToken_ = nullptr;
        token->deleteLater();
        // Something else changed the phase while the numbers ran: that change stands, no take begins.
        if (!completed || phase_.kind() != Phase::Kind::countingDown) {
            Diagnostics::log(QStringLiteral("start abandoned: the countdown was interrupted"));
            co_return;
        }
    }
    setPhase(Phase::preparing());

    QString folder;
    ErrorInfo folderError;
    if (!resolveProjectFolder(folder, folderError)) {
        Diagnostics::log(folderError, QStringLiteral("start"));
        setPhase(Phase::failed(folderError.description));
        screenRecorder_.reset();
        discardEmptyProjectFolder();
        co_return;
    }
    projectFolder_ = folder;
    Diagnostics::log(QStringLiteral("start -> ") + QFileInfo(folder).fileName() + QStringLiteral(" take '") + takeSuffix_ + QLatin1Char('\''));

    clock_ = std::make_shared<RecordingClock>();
    screenRecorder_ = platform_.takes->makeScreenRecorder(*clock_);
    screenRecorder_->onFailure = [this](const ErrorInfo& error) {
        runOnMainThread(this, [error](RecordingController* controller) { controller->failDuringTake(error); });
    };
    ScreenRecorder::Options options;
    options.display = screen->display;
    options.captureMicrophone = captureMicrophone_;
    options.captureSystemAudio = captureSystemAudio_;
    options.microphoneDeviceID = selectedMicrophoneID_;
    options.targetHeight = ScreenQualities::heightCap(quality_);
    options.frameRate = 60;
    // The system cursor is filmed only when the finished video does not draw its own.
    options.showsCursor = !ownCursor_;
    takeDrawsOwnCursor_ = ownCursor_;
    const QDir dir(folder);
    if (const auto error = screenRecorder_->start(options, dir.filePath(QStringLiteral("raw") + takeSuffix_ + QStringLiteral(".mov")))) {
        Diagnostics::log(error->info(), QStringLiteral("start"));
        setPhase(Phase::failed(error->errorDescription()));
        screenRecorder_.reset();
        discardEmptyProjectFolder();
        co_return;
    }

    if (OverlayRecorder* camera = cameraRecorder(); cameraEnabled_ && camera) {
        camera->setPreferTallFormat(screenLayout_ == ScreenLayout::studio);
        camera->refreshFormat();
        applyBubbleLayout(false);
        camera->startRecording(dir.filePath(QStringLiteral("camera") + takeSuffix_ + QStringLiteral(".mov")), clock_);
    }
    if (OverlayRecorder* phone = phoneRecorder(); phoneEnabled_ && phone)
        phone->startRecording(dir.filePath(QStringLiteral("iphone") + takeSuffix_ + QStringLiteral(".mov")), clock_);

    int rootHeight = 0;
    for (const ScreenDisplay& display : screenDisplays_)
        rootHeight = std::max(rootHeight, display.frame.y() + display.frame.height());
    const QRectF capture = captureRect(screen->display.frame, rootHeight);
    clickTracker_->clearRecorded();
    setZoomMarkCount(0);
    if (zoomMode_ != ZoomMode::off || clickHighlight_ || ownCursor_)
        clickTracker_->start(clock_, capture);
    else
        clickTracker_->stop();
    pointerTracker_->reset();
    pointerTracker_->start(clock_, capture);

    setPhase(Phase::recording());
    startTicker();
}

bool RecordingController::resolveProjectFolder(QString& folder, ErrorInfo& error)
{
    if (destinationFolder_ && QFileInfo::exists(*destinationFolder_)) {
        takeSuffix_ = ProjectFolder::nextTakeSuffix(*destinationFolder_);
        createdProjectFolder_ = false;
        folder = *destinationFolder_;
        return true;
    }
    takeSuffix_.clear();
    createdProjectFolder_ = true;
    const ProjectFolder::Creation created = ProjectFolder::createNextProject(platform_.settings, channel_);
    if (!created.ok()) {
        error = *created.error;
        return false;
    }
    folder = created.path;
    return true;
}

QRectF RecordingController::captureRect(const QRect& frame, int rootHeight)
{
    const QRectF source = ScreenGeometry::sourceRect(frame.width(), frame.height());
    // Desktop coordinates grow upwards from the root window's bottom edge.
    const double bottom = rootHeight - (frame.y() + source.y() + source.height());
    return QRectF(frame.x() + source.x(), bottom, source.width(), source.height());
}

void RecordingController::togglePause()
{
    if (!screenRecorder_ && !CaptureModes::usesCameraOnlyRecorder(captureMode_))
        return;
    // Every recorder and tracker keeps running; the shared clock cuts the paused span from all of them.
    if (phase_.kind() == Phase::Kind::paused) {
        clock_->resume();
        setPhase(Phase::recording());
    } else if (phase_.kind() == Phase::Kind::recording) {
        clock_->pause();
        setPhase(Phase::paused());
    }
}

void RecordingController::startTicker()
{
    tickerStartedAt_ = QDateTime::currentDateTimeUtc();
    delete ticker_;
    ticker_ = new QTimer(this);
    ticker_->setTimerType(Qt::PreciseTimer);
    ticker_->setInterval(200);
    QPointer<RecordingController> weak(this);
    connect(ticker_, &QTimer::timeout, this, [weak] {
        if (!weak)
            return;
        if (CaptureModes::usesCameraOnlyRecorder(weak->captureMode_))
            weak->setElapsed(weak->tickerStartedAt_.msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
        else
            weak->setElapsed(weak->clock_->elapsedSeconds());
    });
    ticker_->start();
}

void RecordingController::stopInputs()
{
    delete ticker_;
    ticker_ = nullptr;
    if (clickTracker_)
        clickTracker_->stop();
    if (pointerTracker_)
        pointerTracker_->stop();
}

QCoro::Task<> RecordingController::failDuringTake(ErrorInfo error)
{
    // A stop already under way reports the failure itself; after the take there is nothing to wind down.
    if (windingDown_ || !screenRecorder_ || (phase_.kind() != Phase::Kind::recording && phase_.kind() != Phase::Kind::paused))
        co_return;
    QPointer<RecordingController> weak(this);
    windingDown_ = true;
    if (error.domain == QStringLiteral("ScreenRecorder.RecorderError") && error.code == static_cast<int>(ScreenRecorder::RecorderError::Kind::diskFull)) {
        // What reached the disk is a take: it is saved and finished like one, and the notice says what it holds.
        co_await stopScreen(false, true);
        if (!weak)
            co_return;
        windingDown_ = false;
        setPhase(Phase::failed(error.description));
        co_return;
    }
    stopInputs();
    setPhase(Phase::finishing());
    const QString folder = projectFolder_.value_or(QString());
    // Everything the recorders hold is finished into their files, which all stay.
    QCoro::Task<bool> stopping = stopTakeRecorders();
    if (!co_await std::move(stopping))
        co_return;
    Diagnostics::log(QStringLiteral("take stopped after a recorder failure; its files stay in ") + QFileInfo(folder).fileName());
    // A take that failed before its first frame left nothing worth a folder.
    discardEmptyProjectFolder();
    settleOverlayWindows();
    windingDown_ = false;
    setPhase(Phase::failed(error.description));
}
