#include "core/RecordingController.h"

#include "core/ControllerHandoffStudio.h"
#include "core/ControllerFinishStudio.h"
#include "core/ControllerHooks.h"
#include "core/ControllerTakeStudio.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "platform/system/Permissions.h"
#include "core/ProjectFolder.h"
#include "finishing/EnhanceQueue.h"
#include "finishing/FinishingTools.h"
#include "framing/StudioWindows.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Scheduler.h"
#include "capture/CameraOnlyRecorder.h"
#include "framing/FramingMonitor.h"
#include "takes/Take.h"
#include "takes/TakeServices.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

RecordingController::RecordingController(Platform platform, QObject* parent)
    : QObject(parent)
    , platform_(platform)
    , lastTakeEndedAt_(QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC))
{
    if (!platform_.scheduler)
        mainLoopScheduler_ = std::make_unique<MainLoopScheduler>();
    scheduler_ = platform_.scheduler ? platform_.scheduler : mainLoopScheduler_.get();
    finishStudio_ = std::make_unique<ControllerFinishStudio>(*this);
    finish_ = std::make_unique<FinishDisplay>(*finishStudio_);
    connect(finish_.get(), &FinishDisplay::changed, this, &RecordingController::changed);
    finishQueue_ = std::make_unique<FinishQueue>(*finish_, *scheduler_, platform_.settings);
    connect(finishQueue_.get(), &FinishQueue::changed, this, &RecordingController::changed);
    phone_ = std::make_unique<PhoneScreenPanel>(static_cast<PhoneScreenPanel::Studio&>(*this), platform_);
    connect(phone_.get(), &PhoneScreenPanel::changed, this, &RecordingController::changed);
    bubblePanel_ = std::make_unique<CameraBubblePanel>(static_cast<CameraBubblePanel::Studio&>(*this), platform_);
    readSettings();
    short_.lastShortURL = ProjectFolder::latestShortTake(platform_.settings);
    // One camera-only recorder films "Just me" and short takes and runs their preview between takes.
    routing_ = std::make_unique<CameraRouting>(platform_.takes ? platform_.takes->makeCameraOnlyRecorder() : nullptr, [this] { return routingInputs(); });
    routing_->onShortFrameSize = [this](QSizeF size) { setShortFrameSize(size); };
    if (CameraOnlyRecorder* recorder = routing_->recorder())
        recorder->onStreamLost = [this] { runOnMainThread(this, [](RecordingController* controller) { controller->routing_->streamLost(); }); };
    takeStudio_ = std::make_unique<ControllerTakeStudio>(*this);
    takes_ = std::make_unique<TakeSequence>(*takeStudio_, platform_.kinds ? *platform_.kinds : TakeKinds{}, platform_.settings, platform_.access,
        platform_.windows ? platform_.windows->makeCountdown() : nullptr, platform_.takes, routing_.get());
    connect(takes_.get(), &TakeSequence::changed, this, &RecordingController::changed);
    const TakeKinds& kinds = takes_->kinds();
    handoffStudio_ = std::make_unique<ControllerHandoffStudio>(*this);
    const TakeKind* shorts = kinds.with(&TakeTraits::filmsShort);
    handoffs_ = std::make_unique<HandoffWatch>(*handoffStudio_, platform_.settings, platform_.prompter, shorts ? std::optional(shorts->mode) : std::nullopt);
    connect(handoffs_.get(), &HandoffWatch::changed, this, &RecordingController::changed);
    // The hot keys' zoom marks land in the marking take's pointer log unless the bundle brings its own.
    if (const TakeKind* marking = kinds.with(&TakeTraits::zoomMarks); marking && !platform_.zoomMarker)
        platform_.zoomMarker = takes_->takeOf(marking->mode)->zoomMarker();
    enhanceQueue_ = new EnhanceQueue(
        [](const QString& source, const QString& output) { return EnhancePipeline::run(EnhancePipeline::standardTools(), source, output); }, this);
    connect(enhanceQueue_, &EnhanceQueue::changed, this, &RecordingController::changed);
    refreshDestinationName();
    writeLaunchLine();
    registerHotKeys();
    remote_ = std::make_unique<RemoteTakeControl>(static_cast<RemoteTakeControl::Studio&>(*this), platform_);
    connect(remote_.get(), &RemoteTakeControl::changed, this, &RecordingController::changed);
    remote_->registerButton();
    // The first handoff refresh runs on a later turn of the main loop, never inside the constructor.
    QPointer<RecordingController> weak(this);
    QTimer::singleShot(0, this, [weak] {
        if (weak)
            weak->handoffs_->watchNextTake(true);
    });
    watchDeviceChanges();
    watchFramingInputs();
}

RecordingController::~RecordingController()
{
    // The recorder's failure reaction points at a take: it goes first (a failure under way on the writer
    // queue finishes before this returns), then the take sequence with the takes (declared last); the
    // recorder, declared before them, goes later.
    if (CameraOnlyRecorder* recorder = routing_->recorder()) {
        recorder->setOnFailure({});
        recorder->setOnMicrophoneStoppedAhead({});
    }
}

ControllerHooks& RecordingController::hooks()
{
    static ControllerHooks none;
    return platform_.hooks ? *platform_.hooks : none;
}


QString RecordingController::launchLine(const QString& version, const QString& screen, const QString& microphone, const QString& camera)
{
    return QStringLiteral("launch ") + (version.isEmpty() ? QStringLiteral("?") : version) + QStringLiteral(": permissions screen=")
        + screen + QStringLiteral(" mic=") + microphone + QStringLiteral(" camera=") + camera;
}

void RecordingController::writeLaunchLine()
{
    AccessProbe& access = platform_.access;
    // The screen is either reachable or not; it is never "not asked".
    const auto screen = access.screen() == Permissions::State::granted ? Permissions::State::granted : Permissions::State::denied;
    Diagnostics::log(launchLine(QCoreApplication::applicationVersion(), Permissions::stateName(screen),
        Permissions::stateName(access.microphone()), Permissions::stateName(access.camera())));
}

void RecordingController::retryEnhance(const QUuid& id) { enhanceQueue_->retryEnhance(id); }
