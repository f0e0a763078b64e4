#include "core/TakeSequence.h"

#include "capture/ScreenGeometry.h"
#include "compositing/BubbleShapePath.h"
#include "core/HandoffWatch.h"
#include "core/PhoneScreenPanel.h"
#include "core/ProjectFolder.h"
#include "finishing/FinishQueue.h"
#include "finishing/SaveJobHandover.h"
#include "finishing/SaveWork.h"
#include "framing/CameraPanel.h"
#include "platform/system/CancelToken.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Permissions.h"
#include "takes/ScreenStopPlan.h"
#include "takes/Take.h"
#include "takes/TakeFiles.h"

#include <QFileInfo>
#include <QTimer>

#include <utility>

#include <vector>

TakeSequence::TakeSequence(Studio& studio, const TakeKinds& kinds, Settings& settings, AccessProbe& access,
    std::unique_ptr<CountdownDisplay> countdown, TakeServices* services, CameraOnlyPreview* preview)
    : studio_(studio)
    , settings_(settings)
    , access_(access)
    , countdown_(std::move(countdown))
    , kinds_(kinds)
{
    const TakeKit kit{*this, services, preview};
    for (const TakeKind& kind : kinds_.rows)
        takes_[kind.mode] = kind.make(kit);
}

TakeSequence::~TakeSequence() = default;

Take* TakeSequence::activeTake() const
{
    // The take a start chose stays the one every operation reaches until the studio is idle again.
    if (runningTake_ && (takeUnderWay() || runningTake_->isRunning()))
        return runningTake_;
    return takeOf(studio_.captureMode());
}

Take* TakeSequence::takeOf(CaptureMode mode) const
{
    const auto row = takes_.find(mode);
    return row == takes_.end() ? nullptr : row->second.get();
}

TakeTraits TakeSequence::traitsOf(const Take& take) const
{
    for (const auto& [mode, made] : takes_)
        if (made.get() == &take)
            return kinds_.traits(mode);
    return TakeTraits{.pause = false};
}

bool TakeSequence::takeUnderWay() const { return startInFlight_ || studio_.phase().isBusy(); }

bool TakeSequence::takeToFinish() const
{
    if (discarding_)
        return false;
    const Phase::Kind kind = studio_.phase().kind();
    if (kind == Phase::Kind::recording || kind == Phase::Kind::paused || kind == Phase::Kind::finishing)
        return true;
    return startInFlight_ && runningTake_ && runningTake_->isRunning();
}

bool TakeSequence::rolling() const
{
    const Phase::Kind kind = studio_.phase().kind();
    return kind == Phase::Kind::recording || kind == Phase::Kind::paused;
}

QCoro::Task<> TakeSequence::start()
{
    // A second start while the first still awaits access or its countdown would begin a second take.
    if (takeUnderWay() || startsRefused_)
        co_return;
    const CaptureMode mode = studio_.captureMode();
    Take* take = takeOf(mode);
    if (!take) {
        // Never silent: a mode without its take says so.
        refuse(QLatin1Char('"') + CaptureModes::rawText(mode) + QStringLiteral("\" cannot record in this version. Switch to Screen to record."));
        co_return;
    }
    QPointer<TakeSequence> weak(this);
    startInFlight_ = true;
    Q_EMIT changed();
    TakeTraits traits = kinds_.traits(mode);
    bool voiceTrack = false;
    if (traits.filmsShort) {
        studio_.handoffs().holdStartScript();
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
    studio_.handoffs().studioMayBeIdle();
}

QCoro::Task<> TakeSequence::runStart(Take& take, TakeTraits traits, bool voiceTrack)
{
    QPointer<TakeSequence> weak(this);
    const Take::Attempt attempt = take.beginAttempt();
    // A display resized since it was listed (a projector, a docking change) is filmed at the size it has now.
    studio_.refreshDisplays();
    TakeStart settings = takeStart(voiceTrack);
    if (const std::optional<QString> refused = take.refusal(settings)) {
        refuse(*refused);
        co_return;
    }
    studio_.setLastFinalURL(std::nullopt);
    const TakeAccess access = take.access(settings);
    QCoro::Task<std::optional<bool>> asking = askAccess(access);
    const std::optional<bool> granted = co_await std::move(asking);
    if (!weak || !attempt || !granted)
        co_return;
    studio_.refreshPermissions();
    if (access.freshDevices)
        studio_.refreshDevices();
    settings = takeStart(voiceTrack);
    settings.cameraAllowed = *granted;
    QCoro::Task<std::optional<QString>> choosing = take.choose(settings);
    const std::optional<QString> unfit = co_await std::move(choosing);
    if (!weak || !attempt)
        co_return;
    if (unfit) {
        refuse(*unfit);
        co_return;
    }
    QCoro::Task<bool> counting = countDown(take.countdownFrame(settings), take);
    const bool counted = co_await std::move(counting);
    if (!weak || !attempt || !counted)
        co_return;
    studio_.setPhase(Phase::preparing());
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
        studio_.setZoomMarkCount(0);
    studio_.setPhase(Phase::recording());
    startTicker();
}

TakeStart TakeSequence::takeStart(bool voiceTrack) const
{
    TakeStart settings = studio_.settings();
    settings.voiceTrack = voiceTrack;
    return settings;
}

bool TakeSequence::shortWantsVoiceTrack()
{
    HandoffWatch& handoffs = studio_.handoffs();
    const auto handoff = handoffs.loadNextTake();
    const auto pending = handoffs.channelNextTake();
    return handoff && handoff->channel == studio_.channel() && pending && pending->voiceTrack;
}

QCoro::Task<> TakeSequence::stop(bool byRemote)
{
    if (!rolling())
        co_return;
    Take* take = activeTake();
    if (!take || !take->isRunning())
        co_return;
    enter(TakeStep::finishing);
    co_await take->stop(byRemote);
}

QCoro::Task<> TakeSequence::discard()
{
    if (!rolling())
        co_return;
    QPointer<Take> take = activeTake();
    const std::optional<TakeFolder> folder = take ? take->folder() : std::nullopt;
    // A mode without its take has no recorder and no files to clear.
    discarding_ = true;
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
    discarding_ = false;
    studio_.reset();
    studio_.settleOverlayWindows();
}

void TakeSequence::togglePause()
{
    Take* take = activeTake();
    // The running take's own row decides, not the mode: a short's voice track has no clock to pause.
    if (!take || !take->isRunning() || !traitsOf(*take).pause)
        return;
    if (studio_.phase().kind() == Phase::Kind::paused) {
        take->resume();
        studio_.setPhase(Phase::recording());
    } else if (studio_.phase().kind() == Phase::Kind::recording) {
        take->pause();
        studio_.setPhase(Phase::paused());
    }
}

void TakeSequence::preparedDeviceFailed()
{
    if (!countdownToken_ || countdownCutByDevice_)
        return;
    Diagnostics::log(QStringLiteral("countdown cut short: a device the take opened failed"));
    countdownCutByDevice_ = true;
    countdownToken_->cancel();
}

void TakeSequence::phaseChanged(const RecordingPhase& phase)
{
    if (countdownToken_ && phase.kind() != Phase::Kind::countingDown)
        countdownToken_->cancel();
}

void TakeSequence::startTicker()
{
    delete ticker_;
    ticker_ = new QTimer(this);
    ticker_->setTimerType(Qt::PreciseTimer);
    ticker_->setInterval(200);
    connect(ticker_, &QTimer::timeout, this, [this] {
        if (const Take* take = activeTake())
            studio_.setElapsed(take->elapsedSeconds());
    });
    ticker_->start();
}

void TakeSequence::stopTicker()
{
    delete ticker_;
    ticker_ = nullptr;
}

void TakeSequence::enter(TakeStep step)
{
    // The elapsed time follows the take until it finishes or fails.
    if (step == TakeStep::finishing || step == TakeStep::idle)
        stopTicker();
    switch (step) {
    case TakeStep::preparing: studio_.setPhase(Phase::preparing()); break;
    case TakeStep::recording: studio_.setPhase(Phase::recording()); break;
    case TakeStep::paused: studio_.setPhase(Phase::paused()); break;
    case TakeStep::finishing: studio_.setPhase(Phase::finishing()); break;
    case TakeStep::idle: studio_.setPhase(Phase::idle()); break;
    }
}

void TakeSequence::fail(const QString& sentence)
{
    stopTicker();
    // What the status line says is in the log too.
    Diagnostics::log(QStringLiteral("take failed: ") + sentence);
    studio_.setPhase(Phase::failed(sentence));
}

void TakeSequence::refuse(const QString& sentence) { studio_.setPhase(Phase::failed(sentence)); }

void TakeSequence::ended(const TakeEnd& end)
{
    if (end.keptFile)
        studio_.setLastFinalURL(*end.keptFile);
    if (end.failure)
        fail(*end.failure);
    if (end.shortFile)
        studio_.setLastShortURL(*end.shortFile);
    if (end.file) {
        studio_.setLastFinalURL(*end.file);
        studio_.showFinishedTake(*end.file, end.note);
    }
    if (end.folder) {
        if (!end.kept && !end.file)
            TakeFiles::removeEmptyTakeFolder(*end.folder);
        else if (end.folder->created && end.projectFolder && !end.folder->moved)
            // The next take goes into the project this one made, unless the user moved it away meanwhile.
            studio_.setDestinationFolder(end.folder->path);
    }
    studio_.refreshDestinationName();
    if (end.alarm == TakeEnd::Alarm::sound)
        studio_.playSound(QStringLiteral("Basso"));
    else if (end.alarm == TakeEnd::Alarm::front)
        studio_.alarmTakeFailed();
}

QCoro::Task<std::optional<bool>> TakeSequence::askAccess(TakeAccess access)
{
    QPointer<TakeSequence> weak(this);
    const QString aborted = (access.area.isEmpty() ? QString() : access.area + QLatin1Char(' ')) + QStringLiteral("start aborted: ");
    bool cameraGranted = false;
    for (const bool camera : access.cameraFirst ? std::vector<bool>{true, false} : std::vector<bool>{false, true}) {
        if (!(camera ? access.camera : access.microphone))
            continue;
        // A machine with no camera at all refuses nothing: the start says that no camera was found.
        if (camera && access.noCameraAsksNothing && studio_.noCameraDevice()) {
            cameraGranted = true;
            continue;
        }
        QCoro::Task<bool> asking = camera ? Permissions::requestCamera(access_) : Permissions::requestMicrophone(access_);
        const bool granted = co_await std::move(asking);
        if (!weak)
            co_return std::nullopt;
        if (camera)
            cameraGranted = granted;
        if (granted)
            continue;
        studio_.refreshPermissions();
        if (camera && access.cameraOptional)
            continue;
        const bool missing = camera && !access.noCameraAsksNothing && studio_.noCameraDevice();
        studio_.setPhase(Phase::failed(!camera ? access.microphoneRefused : missing ? Permissions::noCameraFound : access.cameraRefused));
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

QCoro::Task<bool> TakeSequence::countDown(QRect frame, Take& take)
{
    QPointer<TakeSequence> weak(this);
    QPointer<Take> weakTake(&take);
    QPointer<CancelToken> token = new CancelToken(this);
    const int seconds = studio_.countdownSeconds();
    // No screen to show the numbers on means no countdown at all.
    const bool counting = countdown_ && seconds > 0 && frame.isValid();
    // The countdown's phase comes first: the token cancels the numbers when the phase changes from it.
    studio_.setPhase(counting ? Phase::countingDown() : Phase::preparing());
    if (counting)
        countdownToken_ = token;
    countdownCutByDevice_ = false;
    QCoro::Task<std::optional<QString>> preparing = prepareBeside(weakTake, token);
    bool completed = true;
    if (counting)
        completed = co_await countdown_->run(frame, seconds, token);
    // Numbers a failed device cut short count as done: the start that follows finds the failure and says it.
    if (weak && counting && !completed && std::exchange(countdownCutByDevice_, false))
        completed = true;
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
    const bool changedElsewhere = studio_.phase().kind() != (counting ? Phase::Kind::countingDown : Phase::Kind::preparing);
    const bool interrupted = !completed || changedElsewhere;
    if (failure || interrupted || !weakTake) {
        if (weakTake)
            weakTake->releaseDevices();
        if (failure && !changedElsewhere) {
            Diagnostics::log(QStringLiteral("start abandoned: ") + *failure);
            studio_.setPhase(Phase::failed(*failure));
        } else {
            // Something else changed the phase while the numbers ran: that change stands, no take begins.
            Diagnostics::log(QStringLiteral("start abandoned: the countdown was interrupted"));
        }
        co_return false;
    }
    co_return true;
}

std::variant<TakeFolder, ErrorInfo> TakeSequence::openTakeFolder()
{
    const std::optional<QString>& chosen = studio_.destinationFolder();
    if (chosen && QFileInfo::exists(*chosen))
        return TakeFolder{*chosen, ProjectFolder::nextTakeSuffix(*chosen, studio_.takesUnderWay(*chosen)), false, false, nullptr};
    const ProjectFolder::Creation created = ProjectFolder::createNextProject(settings_, studio_.channel());
    if (!created.ok())
        return *created.error;
    return TakeFolder{created.path, QString(), true, false, nullptr};
}

std::variant<TakeFolder, ErrorInfo> TakeSequence::resolveShortFolder(TakeStart& start)
{
    // The handoff of this channel pending when Record was pressed is the short's script: it names the folder
    // and may bring its root. One written since waits for the next short.
    const std::optional<NextTake> script = studio_.handoffs().fixTakeScript(startInFlight_);
    const RecordingChannel channel = studio_.channel();
    studio_.setShortTakeChannel(channel);
    const QString root = script && !script->shortsRoot.isEmpty() ? script->shortsRoot : ProjectFolder::shortsRoot(settings_, channel);
    const ProjectFolder::Creation created = ProjectFolder::createNextShort(settings_, script ? script->folderComponent() : QString(), root);
    if (!created.ok())
        return *created.error;
    start.script = script;
    start.channel = channel;
    return TakeFolder{created.path, QString(), true, false, nullptr};
}

OverlayPanels TakeSequence::measurePanels(QSizeF renderSize) const
{
    OverlayPanels panels;
    panels.bubbleShape = studio_.bubbleShape();
    panels.bubbleTilt = studio_.bubbleTilt();
    panels.phoneShowsFrame = studio_.phoneShowsFrame();
    const std::optional<QRect> screen = studio_.screenFrame();
    if (!screen)
        return panels;
    // The movie holds only the filmed part of a display that is not 16:9, like the clicks and the pointer.
    const QRectF filmed = ScreenGeometry::filmedRect(*screen);
    const double scale = filmed.height() > 0 ? renderSize.height() / filmed.height() : 1;
    if (const CameraPanel* bubble = studio_.bubbleWindow()) {
        panels.bubbleRect = bubble->rectInRenderSpace(filmed, renderSize);
        panels.bubbleCornerRadius = BubbleShapePath::cornerRadius(panels.bubbleShape, studio_.bubbleSize(), scale);
    }
    if (const CameraPanel* phone = studio_.phoneWindow()) {
        panels.phoneRect = phone->rectInRenderSpace(filmed, renderSize);
        panels.phoneCornerRadius = scale * PhoneScreenPanel::cornerRadius;
    }
    return panels;
}

void TakeSequence::handOver(const SaveJobHandover& job)
{
    studio_.finishQueue().submit(std::make_shared<SaveWork>(job), job.id);
}

QJsonObject TakeSequence::lookObject(const TakeLook& look) const
{
    const TakeKind* marking = kinds_.with(&TakeTraits::zoomMarks);
    return marking ? takeOf(marking->mode)->lookObject(look) : QJsonObject();
}
