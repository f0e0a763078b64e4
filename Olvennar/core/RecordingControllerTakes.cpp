// The take operations every caller goes through, and what the takes reach in the studio: the published
// phase, access, the countdown, the take folder, the elapsed ticker and the panels after a take.
#include "core/RecordingController.h"

#include "compositing/BubbleShapePath.h"
#include "platform/system/Diagnostics.h"
#include "core/ProjectFolder.h"
#include "framing/CameraBubbleWindow.h"
#include "framing/CountdownWindow.h"
#include "platform/system/CancelToken.h"
#include "finishing/SaveJobHandover.h"
#include "takes/ScreenStopPlan.h"
#include "takes/ScreenTake.h"
#include "takes/TakeServices.h"
#include "takes/VoiceTake.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

const QString microphoneRefused = QStringLiteral(
    "Microphone access is off, so the take would have no voice. Make sure PulseAudio or PipeWire runs for your session, then reopen "
    "the app. Or switch Microphone off to record without it.");
const QString cameraRefused = QStringLiteral(
    "Camera access is off. Add your user to the \"video\" group and log out and in again, then reopen the app. Or switch the camera "
    "bubble off.");

} // namespace

Take* RecordingController::activeTake() const
{
    // The take a start chose stays the one every operation reaches until the studio is idle again.
    if (runningTake_ && (takeUnderWay() || runningTake_->isRunning()))
        return runningTake_;
    const auto row = takes_.find(captureMode_);
    return row == takes_.end() ? nullptr : row->second.get();
}

bool RecordingController::takeUnderWay() const { return startInFlight_ || phase_.isBusy(); }

QCoro::Task<> RecordingController::start()
{
    // A second start while the first still awaits access or its countdown would begin a second take.
    if (takeUnderWay())
        co_return;
    const auto row = takes_.find(captureMode_);
    Take* take = row == takes_.end() ? nullptr : row->second.get();
    if (!take) {
        // Never silent: a mode without its take says so.
        fail(QLatin1Char('"') + CaptureModes::rawText(captureMode_) + QStringLiteral("\" cannot record in this version. Switch to Screen to record."));
        co_return;
    }
    QPointer<RecordingController> weak(this);
    startInFlight_ = true;
    Q_EMIT changed();
    if (captureMode_ == CaptureMode::short_) {
        loadNextTake();
        startShortScript_ = channelNextTake();
    }
    if (captureMode_ == CaptureMode::short_ && voiceTake_ && shortWantsVoiceTrack()) {
        runningTake_ = voiceTake_;
        QCoro::Task<> track = voiceTake_->startTrack();
        co_await std::move(track);
    } else {
        runningTake_ = take;
        co_await take->start();
    }
    if (!weak)
        co_return;
    startInFlight_ = false;
    Q_EMIT changed();
    // A start that ended without a take frees the studio here; a handoff held back meanwhile applies.
    studioMayBeIdle();
}

bool RecordingController::shortWantsVoiceTrack()
{
    const auto handoff = loadNextTake();
    const auto pending = channelNextTake();
    return handoff && handoff->channel == destination_.channel && pending && pending->voiceTrack;
}

QCoro::Task<bool> RecordingController::cameraAllowed()
{
    QPointer<RecordingController> weak(this);
    const bool granted = co_await Permissions::requestCamera(platform_.access);
    if (weak)
        refreshPermissions();
    co_return granted;
}

QCoro::Task<> RecordingController::stop()
{
    if (!recordingOrPaused(phase_))
        co_return;
    const bool byRemote = stopCameFromRemote_;
    stopCameFromRemote_ = false;
    if (Take* take = activeTake())
        co_await take->stop(byRemote);
}

QCoro::Task<> RecordingController::discard()
{
    if (!recordingOrPaused(phase_))
        co_return;
    cancelPendingRemoteStop();
    if (Take* take = activeTake()) {
        co_await take->discard();
        co_return;
    }
    // A mode without its take has no recorder and no files to clear.
    stopTicker();
    setPhase(Phase::finishing());
    Diagnostics::log(QStringLiteral("discarded take"));
    reset();
    settleOverlayWindows();
}

void RecordingController::togglePause()
{
    Take* take = activeTake();
    if (!take || !take->isRunning() || !take->canPause())
        return;
    if (phase_.kind() == Phase::Kind::paused) {
        take->resume();
        setPhase(Phase::recording());
    } else if (phase_.kind() == Phase::Kind::recording) {
        take->pause();
        setPhase(Phase::paused());
    }
}

void RecordingController::startTicker()
{
    delete ticker_;
    ticker_ = new QTimer(this);
    ticker_->setTimerType(Qt::PreciseTimer);
    ticker_->setInterval(200);
    connect(ticker_, &QTimer::timeout, this, [this] {
        if (const Take* take = activeTake())
            setElapsed(take->elapsedSeconds());
    });
    ticker_->start();
}

void RecordingController::stopTicker()
{
    delete ticker_;
    ticker_ = nullptr;
}

void RecordingController::enter(TakeStep step)
{
    switch (step) {
    case TakeStep::preparing: setPhase(Phase::preparing()); break;
    case TakeStep::recording: setPhase(Phase::recording()); break;
    case TakeStep::paused: setPhase(Phase::paused()); break;
    case TakeStep::finishing: setPhase(Phase::finishing()); break;
    case TakeStep::idle: setPhase(Phase::idle()); break;
    }
}

void RecordingController::fail(const QString& sentence)
{
    // What the status line says is in the log too.
    Diagnostics::log(QStringLiteral("take failed: ") + sentence);
    setPhase(Phase::failed(sentence));
}

void RecordingController::inform(const QString& sentence)
{
    Diagnostics::log(sentence);
    notice_ = sentence;
    Q_EMIT changed();
}

QCoro::Task<bool> RecordingController::requestMicrophone(const QString& refusedSentence, const QString& area)
{
    QPointer<RecordingController> weak(this);
    const bool granted = co_await Permissions::requestMicrophone(platform_.access);
    if (!weak)
        co_return false;
    if (!granted) {
        refreshPermissions();
        setPhase(Phase::failed(refusedSentence));
        Diagnostics::log((area.isEmpty() ? QString() : area + QLatin1Char(' ')) + QStringLiteral("start aborted: microphone permission denied"));
    }
    co_return granted;
}

QCoro::Task<bool> RecordingController::requestAccess(bool microphone, bool camera)
{
    QPointer<RecordingController> weak(this);
    if (microphone) {
        const bool granted = co_await requestMicrophone(microphoneRefused, QString());
        if (!weak || !granted)
            co_return false;
    }
    if (camera) {
        const bool granted = co_await Permissions::requestCamera(platform_.access);
        if (!weak)
            co_return false;
        if (!granted) {
            refreshPermissions();
            const bool missing = noCameraDevice();
            setPhase(Phase::failed(missing ? Permissions::noCameraFound : cameraRefused));
            Diagnostics::log(missing ? QStringLiteral("start aborted: no camera found") : QStringLiteral("start aborted: camera permission denied"));
            co_return false;
        }
    }
    refreshPermissions();
    co_return true;
}

VoiceTakeSettings RecordingController::voiceTakeSettings()
{
    refreshPermissions();
    refreshDevices();
    VoiceTakeSettings settings;
    const auto& microphones = screen_.microphones;
    const auto selected = std::find_if(microphones.begin(), microphones.end(),
        [this](const CaptureDeviceInfo& microphone) { return screen_.selectedMicrophoneID && microphone.uniqueID == *screen_.selectedMicrophoneID; });
    if (selected != microphones.end())
        settings.microphone = *selected;
    else if (!microphones.empty())
        settings.microphone = microphones.front();
    settings.channel = destination_.channel;
    settings.countdownFrame = countdownFrame();
    return settings;
}

void RecordingController::showFinishedFile(const QString& path)
{
    setLastFinalURL(path);
    setPhase(Phase::finished(path));
}

namespace {

// The take's preparation, cancelling the countdown as soon as a device fails so the failure shows at once.
QCoro::Task<std::optional<QString>> prepareBeside(QPointer<Take> take, QPointer<CancelToken> token)
{
    std::optional<QString> failure = co_await take->prepareDevices();
    if (failure && token)
        token->cancel();
    co_return failure;
}

} // namespace

QCoro::Task<bool> RecordingController::countDown(QRect frame, Take& take)
{
    QPointer<RecordingController> weak(this);
    QPointer<Take> weakTake(&take);
    QPointer<CancelToken> token = new CancelToken(this);
    // No screen to show the numbers on means no countdown at all.
    const bool counting = panels_.countdownSeconds > 0 && frame.isValid();
    // The countdown's phase comes first: the token cancels the numbers when the phase changes from it.
    setPhase(counting ? Phase::countingDown() : Phase::preparing());
    if (counting)
        countdownToken_ = token;
    QCoro::Task<std::optional<QString>> preparing = prepareBeside(weakTake, token);
    bool completed = true;
    if (counting)
        completed = co_await countdown_->run(frame, panels_.countdownSeconds, token);
    if (weak && counting)
        Diagnostics::log(completed ? QStringLiteral("countdown ended") : QStringLiteral("countdown interrupted"));
    const std::optional<QString> failure = co_await std::move(preparing);
    if (!weak) {
        if (weakTake)
            weakTake->releaseDevices();
        co_return false;
    }
    countdownToken_ = nullptr;
    if (token)
        token->deleteLater();
    // A phase something else set while the numbers ran stands, even over a device's failure.
    const bool changedElsewhere = phase_.kind() != (counting ? Phase::Kind::countingDown : Phase::Kind::preparing);
    const bool interrupted = !completed || changedElsewhere;
    if (failure || interrupted || !weakTake) {
        if (weakTake)
            weakTake->releaseDevices();
        if (failure && !changedElsewhere) {
            Diagnostics::log(QStringLiteral("start abandoned: ") + *failure);
            setPhase(Phase::failed(*failure));
        } else {
            // Something else changed the phase while the numbers ran: that change stands, no take begins.
            Diagnostics::log(QStringLiteral("start abandoned: the countdown was interrupted"));
        }
        co_return false;
    }
    co_return true;
}

std::variant<TakeFolder, ErrorInfo> RecordingController::openTakeFolder()
{
    if (destination_.destinationFolder && QFileInfo::exists(*destination_.destinationFolder))
        return TakeFolder{*destination_.destinationFolder, ProjectFolder::nextTakeSuffix(*destination_.destinationFolder), false};
    const ProjectFolder::Creation created = ProjectFolder::createNextProject(platform_.settings, destination_.channel);
    if (!created.ok())
        return *created.error;
    return TakeFolder{created.path, QString(), true};
}

ScreenTakeSettings RecordingController::screenTakeSettings() const
{
    ScreenTakeSettings settings;
    const auto screen = selectedScreen();
    if (selectedDisplayListed() && screen && screen->display.id == *screen_.selectedDisplayID)
        settings.display = screen->display;
    for (const ScreenDisplay& display : screenDisplays_)
        settings.rootHeight = std::max(settings.rootHeight, display.frame.y() + display.frame.height());
    settings.captureMicrophone = screen_.captureMicrophone;
    settings.captureSystemAudio = screen_.captureSystemAudio;
    settings.microphoneID = screen_.selectedMicrophoneID;
    settings.targetHeight = ScreenQualities::heightCap(screen_.quality);
    settings.cameraEnabled = bubble_.cameraEnabled;
    settings.phoneEnabled = phone_.phoneEnabled;
    return settings;
}

OverlayPanels RecordingController::measurePanels(QSizeF renderSize) const
{
    OverlayPanels panels;
    panels.bubbleShape = bubble_.bubbleShape;
    panels.bubbleTilt = bubble_.bubbleTilt;
    panels.phoneShowsFrame = phone_.phoneShowsFrame;
    const auto screen = selectedScreen();
    if (!screen)
        return panels;
    const double screenHeight = screen->display.frame.height();
    const double scale = screenHeight > 0 ? renderSize.height() / screenHeight : 1;
    if (bubbleWindow_) {
        panels.bubbleRect = bubbleWindow_->rectInRenderSpace(screen->display.frame, renderSize);
        panels.bubbleCornerRadius = BubbleShapePath::cornerRadius(bubble_.bubbleShape, bubble_.bubbleSize, scale);
    }
    if (phoneWindow_) {
        panels.phoneRect = phoneWindow_->rectInRenderSpace(screen->display.frame, renderSize);
        panels.phoneCornerRadius = scale * 22;
    }
    return panels;
}

void RecordingController::handOver(const SaveJobHandover& job)
{
    finishQueue_->listSaveJob(job.id, job.title);
    if (platform_.takes)
        platform_.takes->queueSaveJob(job);
}

void RecordingController::settleOverlayWindows()
{
    if (!phone_.phoneEnabled)
        phoneWindow_.reset();
    if (!bubble_.cameraEnabled)
        bubbleWindow_.reset();
    reconcilePhone();
    reconcileCamera();
}

QJsonObject RecordingController::harnessLook() const { return ScreenStopPlan::lookObject(look_, screenTake_->takeDrawsOwnCursor()); }
