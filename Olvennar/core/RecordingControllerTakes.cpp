// The take operations every caller goes through and the steps every kind shares: the start's guard, access,
// the countdown, the take folder, the phases, the elapsed ticker, the discard and what a take's end shows.
#include "core/RecordingController.h"

#include "compositing/BubbleShapePath.h"
#include "platform/system/Diagnostics.h"
#include "core/ProjectFolder.h"
#include "platform/system/CancelToken.h"
#include "finishing/SaveJobHandover.h"
#include "finishing/SaveWork.h"
#include "takes/ScreenStopPlan.h"
#include "takes/Take.h"
#include "takes/TakeFiles.h"
#include "takes/TakeServices.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>

Take* RecordingController::activeTake() const
{
    // The take a start chose stays the one every operation reaches until the studio is idle again.
    if (runningTake_ && (takeUnderWay() || runningTake_->isRunning()))
        return runningTake_;
    return takeOf(captureMode_);
}

Take* RecordingController::takeOf(CaptureMode mode) const
{
    const auto row = takes_.find(mode);
    return row == takes_.end() ? nullptr : row->second.get();
}

bool RecordingController::takeUnderWay() const { return startInFlight_ || phase_.isBusy(); }

QCoro::Task<> RecordingController::start()
{
    // A second start while the first still awaits access or its countdown would begin a second take.
    if (takeUnderWay())
        co_return;
    Take* take = takeOf(captureMode_);
    if (!take) {
        // Never silent: a mode without its take says so.
        fail(QLatin1Char('"') + CaptureModes::rawText(captureMode_) + QStringLiteral("\" cannot record in this version. Switch to Screen to record."));
        co_return;
    }
    QPointer<RecordingController> weak(this);
    startInFlight_ = true;
    Q_EMIT changed();
    TakeTraits traits = kinds_.traits(captureMode_);
    bool voiceTrack = false;
    if (traits.filmsShort) {
        handoffs_->holdStartScript();
        // The pending short may ask for a voice track, which the kind that records voice tracks records.
        const TakeKind* track = kinds_.with(&TakeTraits::voiceTrack);
        if (track && shortWantsVoiceTrack()) {
            take = takeOf(track->mode);
            traits = track->traits;
            voiceTrack = true;
        }
    }
    runningTake_ = take;
    QCoro::Task<> starting = runStart(*take, traits, voiceTrack);
    co_await std::move(starting);
    if (!weak)
        co_return;
    startInFlight_ = false;
    Q_EMIT changed();
    // A start that ended without a take frees the studio here; a handoff held back meanwhile applies.
    handoffs_->studioMayBeIdle();
}

QCoro::Task<> RecordingController::runStart(Take& take, TakeTraits traits, bool voiceTrack)
{
    QPointer<RecordingController> weak(this);
    const Take::Attempt attempt = take.beginAttempt();
    TakeStart settings = takeStart(voiceTrack);
    if (const std::optional<QString> refused = take.refusal(settings)) {
        fail(*refused);
        co_return;
    }
    setLastFinalURL(std::nullopt);
    const TakeAccess access = take.access(settings);
    QCoro::Task<std::optional<bool>> asking = askAccess(access);
    const std::optional<bool> granted = co_await std::move(asking);
    if (!weak || !attempt || !granted)
        co_return;
    refreshPermissions();
    if (access.freshDevices)
        refreshDevices();
    settings = takeStart(voiceTrack);
    settings.cameraAllowed = *granted;
    QCoro::Task<std::optional<QString>> choosing = take.choose(settings);
    const std::optional<QString> unfit = co_await std::move(choosing);
    if (!weak || !attempt)
        co_return;
    if (unfit) {
        fail(*unfit);
        co_return;
    }
    QCoro::Task<bool> counting = countDown(take.countdownFrame(settings), take);
    const bool counted = co_await std::move(counting);
    if (!weak || !attempt || !counted)
        co_return;
    setPhase(Phase::preparing());
    auto opened = traits.filmsShort || voiceTrack ? resolveShortFolder(settings) : openTakeFolder();
    if (const ErrorInfo* error = std::get_if<ErrorInfo>(&opened)) {
        Diagnostics::log(*error, access.context());
        take.releaseDevices();
        fail(error->description);
        co_return;
    }
    const TakeFolder folder = std::get<TakeFolder>(std::move(opened));
    QCoro::Task<std::optional<QString>> recording = take.record(settings, folder);
    const std::optional<QString> failure = co_await std::move(recording);
    if (!weak)
        co_return;
    if (failure) {
        ended({.failure = *failure, .folder = folder});
        co_return;
    }
    // The take may have failed while it began: that failure stands.
    if (!attempt || !take.isRunning())
        co_return;
    if (traits.zoomMarks)
        setZoomMarkCount(0);
    setPhase(Phase::recording());
    startTicker();
}

TakeStart RecordingController::takeStart(bool voiceTrack) const
{
    TakeStart settings;
    const auto screen = selectedScreen();
    if (selectedDisplayListed() && screen && screen->display.id == *screen_.selectedDisplayID)
        settings.display = screen->display;
    for (const ScreenDisplay& display : screenDisplays_)
        settings.rootHeight = std::max(settings.rootHeight, display.frame.y() + display.frame.height());
    settings.captureMicrophone = screen_.captureMicrophone;
    settings.captureSystemAudio = screen_.captureSystemAudio;
    settings.targetHeight = ScreenQualities::heightCap(screen_.quality);
    settings.cameraEnabled = bubble_.cameraEnabled;
    settings.phoneEnabled = phone_->phoneEnabled();
    settings.cameras = bubble_.cameras;
    settings.selectedCameraID = bubble_.selectedCameraID;
    settings.microphones = screen_.microphones;
    settings.selectedMicrophoneID = screen_.selectedMicrophoneID;
    settings.mirrorCamera = bubble_.mirrorCamera;
    settings.shortPosition = {short_.shortPosition.x, short_.shortPosition.y};
    settings.look = look_;
    settings.channel = destination_.channel;
    settings.countdownFrame = countdownFrame();
    settings.voiceTrack = voiceTrack;
    return settings;
}

bool RecordingController::shortWantsVoiceTrack()
{
    const auto handoff = handoffs_->loadNextTake();
    const auto pending = handoffs_->channelNextTake();
    return handoff && handoff->channel == destination_.channel && pending && pending->voiceTrack;
}

QCoro::Task<> RecordingController::stop()
{
    if (!recordingOrPaused(phase_))
        co_return;
    const bool byRemote = remote_->takeStopCameFromRemote();
    Take* take = activeTake();
    if (!take || !take->isRunning())
        co_return;
    enter(TakeStep::finishing);
    co_await take->stop(byRemote);
}

QCoro::Task<> RecordingController::discard()
{
    if (!recordingOrPaused(phase_))
        co_return;
    remote_->cancelPendingStop();
    QPointer<Take> take = activeTake();
    const std::optional<TakeFolder> folder = take ? take->folder() : std::nullopt;
    // A mode without its take has no recorder and no files to clear.
    enter(TakeStep::finishing);
    if (take) {
        QCoro::Task<> discarding = take->discard();
        co_await std::move(discarding);
        if (!take)
            co_return;
        TakeFiles::discardTake(folder);
    } else {
        Diagnostics::log(QStringLiteral("discarded take"));
    }
    reset();
    settleOverlayWindows();
}

void RecordingController::togglePause()
{
    Take* take = activeTake();
    if (!take || !take->isRunning() || !kinds_.traits(captureMode_).pause)
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
    // The elapsed time follows the take until it finishes or fails.
    if (step == TakeStep::finishing || step == TakeStep::idle)
        stopTicker();
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
    stopTicker();
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

void RecordingController::ended(const TakeEnd& end)
{
    if (end.keptFile)
        setLastFinalURL(*end.keptFile);
    if (end.failure)
        fail(*end.failure);
    if (end.shortFile)
        setLastShortURL(*end.shortFile);
    if (end.file) {
        setLastFinalURL(*end.file);
        showFinishedTake(*end.file, end.note);
    }
    if (end.folder) {
        if (!end.kept && !end.file)
            TakeFiles::removeEmptyTakeFolder(*end.folder);
        else if (end.folder->created && end.projectFolder)
            // The next take goes into the project this one made.
            setDestinationFolder(end.folder->path);
    }
    refreshDestinationName();
    if (end.alarm == TakeEnd::Alarm::sound)
        playSound(QStringLiteral("Basso"));
    else if (end.alarm == TakeEnd::Alarm::front)
        alarmTakeFailed();
}

QCoro::Task<std::optional<bool>> RecordingController::askAccess(TakeAccess access)
{
    QPointer<RecordingController> weak(this);
    const QString aborted = (access.area.isEmpty() ? QString() : access.area + QLatin1Char(' ')) + QStringLiteral("start aborted: ");
    bool cameraGranted = false;
    for (const bool camera : access.cameraFirst ? std::vector<bool>{true, false} : std::vector<bool>{false, true}) {
        if (!(camera ? access.camera : access.microphone))
            continue;
        // A machine with no camera at all refuses nothing: the start says that no camera was found.
        if (camera && access.noCameraAsksNothing && noCameraDevice()) {
            cameraGranted = true;
            continue;
        }
        QCoro::Task<bool> asking = camera ? Permissions::requestCamera(platform_.access) : Permissions::requestMicrophone(platform_.access);
        const bool granted = co_await std::move(asking);
        if (!weak)
            co_return std::nullopt;
        if (camera)
            cameraGranted = granted;
        if (granted)
            continue;
        refreshPermissions();
        if (camera && access.cameraOptional)
            continue;
        const bool missing = camera && !access.noCameraAsksNothing && noCameraDevice();
        setPhase(Phase::failed(!camera ? access.microphoneRefused : missing ? Permissions::noCameraFound : access.cameraRefused));
        Diagnostics::log(aborted + (!camera ? QStringLiteral("microphone permission denied") : missing ? QStringLiteral("no camera found") : QStringLiteral("camera permission denied")));
        co_return std::nullopt;
    }
    co_return cameraGranted;
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
    const bool counting = countdown_ && panels_.countdownSeconds > 0 && frame.isValid();
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

OverlayPanels RecordingController::measurePanels(QSizeF renderSize) const
{
    OverlayPanels panels;
    panels.bubbleShape = bubble_.bubbleShape;
    panels.bubbleTilt = bubble_.bubbleTilt;
    panels.phoneShowsFrame = phone_->phoneShowsFrame();
    const auto screen = selectedScreen();
    if (!screen)
        return panels;
    const double screenHeight = screen->display.frame.height();
    const double scale = screenHeight > 0 ? renderSize.height() / screenHeight : 1;
    if (const CameraPanel* bubbleWindow = bubblePanel_->window()) {
        panels.bubbleRect = bubbleWindow->rectInRenderSpace(screen->display.frame, renderSize);
        panels.bubbleCornerRadius = BubbleShapePath::cornerRadius(bubble_.bubbleShape, bubble_.bubbleSize, scale);
    }
    if (const CameraPanel* phoneWindow = phone_->window()) {
        panels.phoneRect = phoneWindow->rectInRenderSpace(screen->display.frame, renderSize);
        panels.phoneCornerRadius = scale * PhoneScreenPanel::cornerRadius;
    }
    return panels;
}

void RecordingController::handOver(const SaveJobHandover& job)
{
    finishQueue_->submit(std::make_shared<SaveWork>(job), job.id);
}

void RecordingController::settleOverlayWindows()
{
    phone_->dropWindowIfOff();
    bubblePanel_->dropWindowIfOff();
    phone_->reconcile();
    bubblePanel_->reconcile();
}

QJsonObject RecordingController::harnessLook() const
{
    const TakeKind* marking = kinds_.with(&TakeTraits::zoomMarks);
    return marking ? takeOf(marking->mode)->lookObject(look_) : QJsonObject();
}
