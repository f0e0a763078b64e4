// The screen take's start, pause, discard and failure reaction; its stop is in ScreenTakeStop.cpp.
#include "takes/ScreenTake.h"

#include "capture/ClickTracker.h"
#include "capture/DisplayPicture.h"
#include "capture/PointerTracker.h"
#include "capture/ScreenRecorder.h"
#include "platform/system/Diagnostics.h"
#include "takedata/RecordingClock.h"
#include "platform/system/MainThread.h"
#include "platform/x11/ScreenFrameRate.h"
#include "takes/OverlayRecorder.h"
#include "takes/PointerTrackerMarker.h"
#include "takes/ScreenStopPlan.h"
#include "takes/TakeFiles.h"
#include "takes/TakeGeometry.h"
#include "takes/TakeServices.h"

#include <QFileInfo>
#include <QPointer>

#include "platform/system/WorkerPool.h"

#include <qcorofuture.h>

namespace {

const QString microphoneRefused = QStringLiteral(
    "Microphone access is off, so the take would have no voice. Make sure PulseAudio or PipeWire runs for your session, then reopen "
    "the app. Or switch Microphone off to record without it.");
const QString cameraRefused = QStringLiteral(
    "Camera access is off. Add your user to the \"video\" group and log out and in again, then reopen the app. Or switch the camera "
    "bubble off.");

} // namespace

ScreenTake::ScreenTake(TakeHost& host, TakeServices* services)
    : host_(host)
    , services_(services)
    , clock_(std::make_shared<RecordingClock>())
{
    if (services_) {
        clickTracker_ = std::make_unique<ClickTracker>(services_->input(), services_->pointer());
        pointerTracker_ = std::make_unique<PointerTracker>(services_->input(), services_->pointer(), services_->frontWindow());
        zoomMarker_ = std::make_unique<PointerTrackerMarker>(*pointerTracker_);
    }
}

ScreenTake::~ScreenTake() = default;

ZoomMarker* ScreenTake::zoomMarker() { return zoomMarker_.get(); }

QJsonObject ScreenTake::lookObject(const TakeLook& look) const { return ScreenStopPlan::lookObject(look, takeDrawsOwnCursor_); }

TakeAccess ScreenTake::access(const TakeStart& start) const
{
    TakeAccess access;
    access.microphone = start.captureMicrophone;
    access.camera = start.cameraEnabled;
    access.microphoneRefused = microphoneRefused;
    access.cameraRefused = cameraRefused;
    return access;
}

std::optional<QString> ScreenTake::refusal(const TakeStart& start) const
{
    if (!start.display || !services_)
        return QStringLiteral("Pick a display first.");
    return std::nullopt;
}

QCoro::Task<std::optional<QString>> ScreenTake::choose(const TakeStart& start)
{
    settings_ = start;
    co_return std::nullopt;
}

ScreenRecorder::Options ScreenTake::recorderOptions(const TakeStart& settings) const
{
    ScreenRecorder::Options options;
    options.display = *settings.display;
    options.captureMicrophone = settings.captureMicrophone;
    options.captureSystemAudio = settings.captureSystemAudio;
    options.microphoneDeviceID = settings.selectedMicrophoneID;
    options.targetHeight = settings.targetHeight;
    options.frameRate = ScreenFrameRate::perSecond;
    // The system cursor is filmed only when the finished video does not draw its own.
    options.showsCursor = !settings.look.ownCursor;
    return options;
}

QCoro::Task<std::optional<QString>> ScreenTake::prepareDevices()
{
    QPointer<ScreenTake> weak(this);
    clock_ = std::make_shared<RecordingClock>();
    std::shared_ptr<ScreenRecorder> recorder = services_->makeScreenRecorder(*clock_);
    recorder->onFailure = [this](const ScreenRecorder::RecorderError& error) {
        runOnMainThread(this, [error](ScreenTake* take) { take->failDuringTake(error); });
    };
    preparedRecorder_ = recorder;
    const ScreenRecorder::Options options = recorderOptions(settings_);
    // The worker holds the recorder too, so a take that goes away meanwhile never pulls it from under it.
    // Sound and encoders open while the countdown runs: the start then only names the file.
    QFuture<std::optional<ScreenRecorder::RecorderError>> opening = WorkerPool::takes().run([recorder, options] { return recorder->prepare(options); });
    const std::optional<ScreenRecorder::RecorderError> error = co_await opening;
    if (!weak)
        co_return QString();
    if (error) {
        Diagnostics::log(error->info(), QStringLiteral("start"));
        co_return error->errorDescription();
    }
    co_return std::nullopt;
}

void ScreenTake::releaseDevices() { preparedRecorder_.reset(); }

QCoro::Task<std::optional<QString>> ScreenTake::record(const TakeStart& settings, const TakeFolder& folder)
{
    folder_ = folder;
    // Held from now on: the take knows its folder by what it is, whatever it is called when the take is saved.
    if (!folder_->held)
        folder_->held = HeldFolder::hold(folder_->path);
    Diagnostics::log(QStringLiteral("start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" take '") + folder_->suffix + QLatin1Char('\''));
    const TakeLook& look = settings.look;
    screenRecorder_ = std::move(preparedRecorder_);
    const ScreenRecorder::Options options = recorderOptions(settings);
    takeDrawsOwnCursor_ = look.ownCursor;
    if (const auto error = screenRecorder_->start(options, folder_->file(QStringLiteral("raw"), QStringLiteral(".mov")))) {
        Diagnostics::log(error->info(), QStringLiteral("start"));
        screenRecorder_.reset();
        folder_.reset();
        co_return error->errorDescription();
    }

    if (OverlayRecorder& camera = services_->cameraRecorder(); settings.cameraEnabled) {
        camera.setPreferTallFormat(look.screenLayout == ScreenLayout::studio);
        camera.refreshFormat();
        host_.applyBubbleLayout(false);
        camera.startRecording(folder_->file(QStringLiteral("camera"), QStringLiteral(".mov")), clock_);
    }
    if (settings.phoneEnabled)
        services_->phoneRecorder().startRecording(folder_->file(QStringLiteral("iphone"), QStringLiteral(".mov")), clock_);

    // The pointer and its clicks are measured where the picture shows them, as the grabber follows the display.
    const QRectF capture = TakeGeometry::captureRect(settings.display->frame, settings.rootHeight);
    auto picture = std::make_shared<DisplayPicture>(services_->screenLayout(), screenRecorder_->sourceRect(), screenRecorder_->pixelSize(), capture);
    clickTracker_->clearRecorded();
    if (look.zoomMode != ZoomMode::off || look.clickHighlight || look.ownCursor)
        clickTracker_->start(clock_, picture);
    else
        clickTracker_->stop();
    pointerTracker_->reset();
    pointerTracker_->start(clock_, std::move(picture));
    co_return std::nullopt;
}

void ScreenTake::abandon(const QString& sentence)
{
    screenRecorder_.reset();
    host_.ended({.failure = sentence, .folder = std::exchange(folder_, std::nullopt)});
}

// Every recorder and tracker keeps running; the shared clock cuts the paused span from all of them.
void ScreenTake::pause() { clock_->pause(); }
void ScreenTake::resume() { clock_->resume(); }
double ScreenTake::elapsedSeconds() const { return clock_->elapsedSeconds(); }

void ScreenTake::stopTrackers()
{
    if (clickTracker_)
        clickTracker_->stop();
    if (pointerTracker_)
        pointerTracker_->stop();
}

QCoro::Task<bool> ScreenTake::stopRecorders()
{
    QPointer<ScreenTake> weak(this);
    if (std::shared_ptr<ScreenRecorder> recorder = std::move(screenRecorder_)) {
        QFuture<ScreenRecorder::StopResult> stopping = recorder->stop();
        co_await stopping;
        if (!weak)
            co_return false;
    }
    if (!services_)
        co_return true;
    QCoro::Task<std::optional<QString>> cameraStop = services_->cameraRecorder().stopRecording();
    co_await std::move(cameraStop);
    if (!weak)
        co_return false;
    QCoro::Task<std::optional<QString>> phoneStop = services_->phoneRecorder().stopRecording();
    co_await std::move(phoneStop);
    co_return static_cast<bool>(weak);
}

QCoro::Task<> ScreenTake::discard()
{
    QPointer<ScreenTake> weak(this);
    stopTrackers();
    QCoro::Task<bool> stopping = stopRecorders();
    if (!co_await std::move(stopping))
        co_return;
    folder_.reset();
}

QCoro::Task<> ScreenTake::failDuringTake(ScreenRecorder::RecorderError error)
{
    // Sound opened for the start and lost under the numbers: they end now, and the start says why.
    if (!screenRecorder_ && preparedRecorder_ && !host_.rolling()) {
        host_.preparedDeviceFailed();
        co_return;
    }
    // A stop already under way reports the failure itself; after the take there is nothing to wind down.
    if (windingDown_ || !screenRecorder_ || !host_.rolling())
        co_return;
    windingDown_ = true;
    // Whatever failed, what reached the disk is a take: it is saved and finished like one, with its pointer and
    // click logs, and the notice says why recording stopped and what it holds.
    QPointer<ScreenTake> weak(this);
    stopTrackers();
    host_.enter(TakeStep::finishing);
    QCoro::Task<bool> saving = stopScreen(false, error);
    co_await std::move(saving);
    if (!weak)
        co_return;
    windingDown_ = false;
}
