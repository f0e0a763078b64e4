#include "core/RecordingController.h"

#include "capture/PointerTracker.h"
#include "core/ControllerHooks.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "platform/system/Permissions.h"
#include "core/ProjectFolder.h"
#include "finishing/EnhanceQueue.h"
#include "finishing/FinishingTools.h"
#include "framing/CameraBubbleWindow.h"
#include "framing/CountdownWindow.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Scheduler.h"
#include "capture/CameraOnlyRecorder.h"
#include "framing/FramingMonitor.h"
#include "framing/FramingWindow.h"
#include "takes/JustMeTake.h"
#include "takes/PointerTrackerMarker.h"
#include "takes/ScreenTake.h"
#include "takes/ShortFilmTake.h"
#include "takes/TakeServices.h"
#include "takes/VoiceTake.h"

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
    finishQueue_ = std::make_unique<FinishQueue>(static_cast<FinishQueue::Studio&>(*this), *scheduler_);
    connect(finishQueue_.get(), &FinishQueue::changed, this, &RecordingController::changed);
    readSettings();
    short_.lastShortURL = ProjectFolder::latestShortTake(platform_.settings);
    auto screenTake = std::make_unique<ScreenTake>(static_cast<ScreenTakeHost&>(*this), platform_.takes);
    screenTake_ = screenTake.get();
    takes_[CaptureMode::screen] = std::move(screenTake);
    // One camera-only recorder films "Just me" and short takes and runs their preview between takes.
    if (platform_.takes)
        cameraOnlyRecorder_ = platform_.takes->makeCameraOnlyRecorder();
    if (cameraOnlyRecorder_)
        cameraOnlyRecorder_->onStreamLost = [this] { runOnMainThread(this, [](RecordingController* controller) { controller->cameraOnlyStreamLost(); }); };
    auto justMeTake = std::make_unique<JustMeTake>(static_cast<CameraOnlyTakeHost&>(*this));
    justMeTake_ = justMeTake.get();
    takes_[CaptureMode::cameraOnly] = std::move(justMeTake);
    auto shortTake = std::make_unique<ShortFilmTake>(static_cast<CameraOnlyTakeHost&>(*this));
    shortTake_ = shortTake.get();
    takes_[CaptureMode::short_] = std::move(shortTake);
    // The voice take also records a short's voice track, filming the desk camera through the camera-only host.
    auto voiceTake = std::make_unique<VoiceTake>(static_cast<VoiceTakeHost&>(*this), static_cast<CameraOnlyTakeHost*>(this), platform_.takes);
    voiceTake_ = voiceTake.get();
    takes_[CaptureMode::voice] = std::move(voiceTake);
    // The hot keys' zoom marks land in the screen take's pointer log unless the bundle brings its own.
    if (PointerTracker* tracker = screenTake_->pointerTracker(); tracker && !platform_.zoomMarker) {
        ownZoomMarker_ = std::make_unique<PointerTrackerMarker>(*tracker);
        platform_.zoomMarker = ownZoomMarker_.get();
    }
    countdown_ = std::make_unique<CountdownWindow>();
    enhanceQueue_ = new EnhanceQueue(
        [](const QString& source, const QString& output) { return EnhancePipeline::run(EnhancePipeline::standardTools(), source, output); }, this);
    connect(enhanceQueue_, &EnhanceQueue::changed, this, &RecordingController::changed);
    refreshDestinationName();
    writeLaunchLine();
    registerHotKeys();
    registerRemoteButton();
    // The first handoff refresh runs on a later turn of the main loop, never inside the constructor.
    QPointer<RecordingController> weak(this);
    QTimer::singleShot(0, this, [weak] {
        if (weak)
            weak->watchNextTake(true);
    });
    watchDeviceChanges();
    watchFramingInputs();
}

RecordingController::~RecordingController()
{
    // The recorder's failure reaction points at a take: it goes first (a failure under way on the writer
    // queue finishes before this returns), then the takes; the recorder, declared after them, goes later.
    if (cameraOnlyRecorder_)
        cameraOnlyRecorder_->setOnFailure({});
    takes_.clear();
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
