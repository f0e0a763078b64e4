// The controller's take state and its derived values: the phase observer, the destination texts, the
// device helpers and the main window's small actions.
#include "core/RecordingController.h"

#include "capture/CameraOnlyRecorder.h"
#include "platform/media/ExportGate.h"
#include "core/CaptureDeviceChoice.h"
#include "core/ControllerHooks.h"
#include "core/ProjectFolder.h"
#include "core/SaveLocation.h"
#include "takedata/ClockText.h"
#include "takedata/SpeechBusySink.h"
#include "platform/system/CancelToken.h"
#include "platform/system/HomePath.h"
#include "takes/OverlayRecorder.h"
#include "platform/system/Paths.h"
#include "platform/system/Scheduler.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

QString RecordingController::timeString(double seconds)
{
    return ClockText::format(seconds, ClockText::Form::hoursFromAnHour);
}

void RecordingController::setPhase(const Phase& phase)
{
    const Phase old = phase_;
    phase_ = phase;
    // The note belongs to the finished file shown; a failed render's Retry stays until it is used.
    finish_->forgetNote();
    // A notice stays through the take's save and render, until the next take begins.
    if (phase.kind() == Phase::Kind::countingDown || phase.kind() == Phase::Kind::preparing || phase.kind() == Phase::Kind::recording) {
        notice_.clear();
        // The take just deleted ("delete the bad take, record again") gives its space back before this one fills it.
        finishQueue_->letGoOfDeletedFiles();
    }
    takes_->phaseChanged(phase);
    if (platform_.speechBusy)
        platform_.speechBusy->setBusy(phase.isBusy());
    measureStalls(old, phase);
    const bool filming = phase.isFilming();
    // Background exports hold while a take is filmed, so capture keeps the machine.
    ExportGate::shared().setPaused(filming);
    if (recordingOrPaused(old) && !recordingOrPaused(phase) && !stopAsked_)
        stoppedOnItsOwnAt_ = scheduler().now();
    if (phase.kind() == Phase::Kind::countingDown || phase.kind() == Phase::Kind::preparing || phase.kind() == Phase::Kind::recording) {
        stopAsked_ = false;
        stoppedOnItsOwnAt_.reset();
    }
    if (old.isFilming() && !filming)
        lastTakeEndedAt_ = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(scheduler().now() * 1000.0), Qt::UTC);
    if (!filming)
        finishWaitingForBreak_ = false;
    else if (finishingCount() > 0)
        finishWaitingForBreak_ = true;
    Q_EMIT changed();
    if (old.isBusy() && !phase.isBusy())
        handoffs_->studioMayBeIdle();
}

void RecordingController::giveUpFinishing()
{
    finishQueue_->giveUp();
    ExportGate::shared().abandon();
}

void RecordingController::measureStalls(const Phase& old, const Phase& phase)
{
    if (phase.kind() == old.kind())
        return;
    if (phase.kind() == Phase::Kind::preparing)
        stallProbe_.begin(QStringLiteral("start"));
    else if (phase.kind() == Phase::Kind::finishing)
        stallProbe_.begin(QStringLiteral("stop"));
    else if (old.kind() == Phase::Kind::preparing || old.kind() == Phase::Kind::finishing)
        stallProbe_.end();
}

void RecordingController::reset()
{
    setPhase(Phase::idle());
    setElapsed(0);
    refreshDestinationName();
}

void RecordingController::setDestinationFolder(const std::optional<QString>& folder)
{
    destination_.destinationFolder = folder ? std::optional<QString>(QDir::cleanPath(*folder)) : std::nullopt;
    Q_EMIT changed();
    refreshDestinationName();
}

void RecordingController::refreshDestinationName()
{
    destination_.existingFolders = ProjectFolder::existingProjects(platform_.settings, destination_.channel);
    if (destination_.destinationFolder) {
        const bool exists = QFileInfo::exists(*destination_.destinationFolder);
        if (!exists) {
            // Its observer runs this refresh again.
            setDestinationFolder(std::nullopt);
            return;
        }
        // A folder chosen elsewhere stays pickable.
        if (!destination_.existingFolders.contains(*destination_.destinationFolder))
            destination_.existingFolders.prepend(*destination_.destinationFolder);
    }
    const QString folder = destination_.destinationFolder.value_or(ProjectFolder::nextProjectURL(platform_.settings, destination_.channel));
    // A new folder's first take has no number.
    const QString suffix = destination_.destinationFolder ? ProjectFolder::nextTakeSuffix(folder, finishQueue_->takesUnderWay(folder)) : QString();
    QString name = HomePath::abbreviated(folder);
    if (!suffix.isEmpty())
        name += QStringLiteral("  (take ") + suffix.mid(1) + QLatin1Char(')');
    destination_.destinationName = name;
    Q_EMIT changed();
}

QString RecordingController::shortDestinationName() const
{
    // A pending handoff of this channel names the folder after its script and may bring its own root.
    const auto pending = handoffs_->channelNextTake();
    const QString script = pending ? pending->folderComponent() : QString();
    const QString root = pending && !pending->shortsRoot.isEmpty() ? pending->shortsRoot : ProjectFolder::shortsRoot(platform_.settings, destination_.channel);
    return HomePath::abbreviated(ProjectFolder::nextShortURL(platform_.settings, QDateTime::currentDateTime(), script, root));
}

RecordingChannel RecordingController::shortHeaderChannel() const
{
    return phase_.isBusy() ? destination_.shortTakeChannel : destination_.channel;
}

void RecordingController::setCameraEnabled(bool on)
{
    publish(bubble_.cameraEnabled, on);
    cameraEnabledChanged();
    hooks().cameraEnabledChanged();
}

void RecordingController::setBubbleShape(BubbleShape shape)
{
    publish(bubble_.bubbleShape, shape);
    applyBubbleLayout(false);
    hooks().applyBubbleLayout(false);
}

void RecordingController::setBubbleSize(double size)
{
    publish(bubble_.bubbleSize, size);
    applyBubbleLayout(false);
    hooks().applyBubbleLayout(false);
}

void RecordingController::setMirrorCamera(bool mirrored)
{
    publish(bubble_.mirrorCamera, mirrored);
    if (OverlayRecorder* recorder = bubblePanel_->recorder())
        recorder->setMirrored(mirrored);
    routing_->mirror(mirrored);
    hooks().applyCameraMirroring(mirrored);
}

std::optional<CaptureDeviceInfo> RecordingController::preferredMicrophone() const
{
    const QString wanted = platform_.settings.stringValue(Keys::preferredMicName(), QStringLiteral("Wireless Mic Rx"));
    return CaptureDeviceChoice::firstNamed(screen_.microphones, wanted);
}

std::optional<QString> RecordingController::selectedMicrophoneName() const
{
    return CaptureDeviceChoice::nameOf(screen_.microphones, screen_.selectedMicrophoneID);
}

bool RecordingController::usingWorseMicrophoneThanAvailable() const
{
    return CaptureDeviceChoice::ranksBelowBest(screen_.microphones, screen_.selectedMicrophoneID);
}

void RecordingController::replayLastShort()
{
    if (short_.lastShortURL && QFileInfo::exists(*short_.lastShortURL))
        hooks().playShort(*short_.lastShortURL);
}

void RecordingController::revealLastRecording()
{
    if (destination_.lastFinalURL)
        hooks().revealFile(*destination_.lastFinalURL);
}

// Published values that have no observer.
void RecordingController::setFinishWaitingForBreak(bool waiting) { publish(finishWaitingForBreak_, waiting); }
void RecordingController::setDisplays(std::vector<DisplayInfo> displays) { publish(screen_.displays, std::move(displays)); }
void RecordingController::setSelectedDisplayID(std::optional<quint32> id) { publish(screen_.selectedDisplayID, id); }
void RecordingController::setCaptureMicrophone(bool on) { publish(screen_.captureMicrophone, on); }
void RecordingController::setCaptureSystemAudio(bool on) { publish(screen_.captureSystemAudio, on); }
void RecordingController::setMicrophones(Devices microphones) { publish(screen_.microphones, std::move(microphones)); }
void RecordingController::setHasScreenPermission(bool granted) { publish(access_.hasScreenPermission, granted); }
void RecordingController::setMicPermission(Permissions::State state) { publish(access_.micPermission, state); }
void RecordingController::setCameraPermission(Permissions::State state) { publish(access_.cameraPermission, state); }
void RecordingController::setLastFinalURL(const std::optional<QString>& path) { publish(destination_.lastFinalURL, path); }
void RecordingController::setShortTakeChannel(RecordingChannel channel) { destination_.shortTakeChannel = channel; }
void RecordingController::setCameras(Devices cameras) { publish(bubble_.cameras, std::move(cameras)); }
void RecordingController::setSelectedCameraID(const std::optional<QString>& id) { publish(bubble_.selectedCameraID, id); }
void RecordingController::setShortFrameSize(QSizeF size) { publish(short_.shortFrameSize, size); }
void RecordingController::setLastShortURL(const std::optional<QString>& path) { publish(short_.lastShortURL, path); }
void RecordingController::setCountdownSeconds(int seconds) { publish(panels_.countdownSeconds, seconds); }
void RecordingController::setTeleprompterVisible(bool visible) { publish(panels_.teleprompterVisible, visible); }
void RecordingController::setChannel(RecordingChannel channel) { publish(destination_.channel, channel); }
