// The controller's take state and its derived values: the phase observer, the destination texts, the
// device helpers and the main window's small actions.
#include "core/RecordingController.h"

#include "capture/ExportGate.h"
#include "core/ControllerHooks.h"
#include "core/Diagnostics.h"
#include "core/ProjectFolder.h"
#include "core/SaveLocation.h"
#include "core/SpeechBusySink.h"
#include "framing/CameraBubbleWindow.h"
#include "platform/system/CancelToken.h"
#include "takes/OverlayRecorder.h"
#include "platform/system/Paths.h"
#include "platform/system/Scheduler.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

// The path with the home folder shown as "~".
QString abbreviatedPath(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    const QString home = QDir::cleanPath(Paths::homeFolder());
    if (clean == home)
        return QStringLiteral("~");
    if (clean.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + clean.mid(home.size());
    return clean;
}

} // namespace

QString RecordingController::timeString(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("00:00");
    // Beyond any real take; keeps the integer conversion defined.
    const qint64 t = static_cast<qint64>(std::min(seconds, 9.0e15));
    if (t < 3600)
        return QString::asprintf("%02lld:%02lld", t / 60, t % 60);
    return QString::asprintf("%lld:%02lld:%02lld", t / 3600, (t % 3600) / 60, t % 60);
}

void RecordingController::setPhase(const Phase& phase)
{
    const Phase old = phase_;
    phase_ = phase;
    // A countdown whose phase was changed under it must not go on into a take.
    if (countdownToken_ && phase.kind() != Phase::Kind::countingDown)
        countdownToken_->cancel();
    if (platform_.speechBusy)
        platform_.speechBusy->setBusy(phase.isBusy());
    const bool filming = phase.isFilming();
    // Background exports hold while a take is filmed, so capture keeps the machine.
    ExportGate::shared().setPaused(filming);
    if (old.isFilming() && !filming)
        lastTakeEndedAt_ = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(scheduler().now() * 1000.0), Qt::UTC);
    if (!filming)
        finishWaitingForBreak_ = false;
    else if (finishingCount() > 0)
        finishWaitingForBreak_ = true;
    Q_EMIT changed();
}

int RecordingController::finishingCount() const
{
    return static_cast<int>(std::count_if(finishJobs_.begin(), finishJobs_.end(),
        [](const FinishJob& job) { return job.state.kind == FinishJob::State::Kind::working; }));
}

void RecordingController::reset()
{
    setPhase(Phase::idle());
    setElapsed(0);
    refreshDestinationName();
}

void RecordingController::setDestinationFolder(const std::optional<QString>& folder)
{
    destinationFolder_ = folder ? std::optional<QString>(QDir::cleanPath(*folder)) : std::nullopt;
    Q_EMIT changed();
    refreshDestinationName();
}

void RecordingController::refreshDestinationName()
{
    existingFolders_ = ProjectFolder::existingProjects(platform_.settings, channel_);
    if (destinationFolder_) {
        const bool exists = QFileInfo::exists(*destinationFolder_);
        if (!exists) {
            // Its observer runs this refresh again.
            setDestinationFolder(std::nullopt);
            return;
        }
        // A folder chosen elsewhere stays pickable.
        if (!existingFolders_.contains(*destinationFolder_))
            existingFolders_.prepend(*destinationFolder_);
    }
    const QString folder = destinationFolder_.value_or(ProjectFolder::nextProjectURL(platform_.settings, channel_));
    // A new folder's first take has no number.
    const QString suffix = destinationFolder_ ? ProjectFolder::nextTakeSuffix(folder) : QString();
    QString name = abbreviatedPath(folder);
    if (!suffix.isEmpty())
        name += QStringLiteral("  (take ") + suffix.mid(1) + QLatin1Char(')');
    destinationName_ = name;
    Q_EMIT changed();
}

QString RecordingController::shortDestinationName() const
{
    const QString root = ProjectFolder::shortsRoot(platform_.settings, channel_);
    return abbreviatedPath(ProjectFolder::nextShortURL(platform_.settings, QDateTime::currentDateTime(), QString(), root));
}

RecordingChannel RecordingController::shortHeaderChannel() const
{
    return phase_.isBusy() ? shortTakeChannel_ : channel_;
}

void RecordingController::setCameraEnabled(bool on)
{
    publish(bubble_.cameraEnabled, on);
    cameraEnabledChanged();
    hooks().cameraEnabledChanged();
}

void RecordingController::setPhoneEnabled(bool on)
{
    publish(phone_.phoneEnabled, on);
    phoneEnabledChanged();
    hooks().phoneEnabledChanged();
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
    if (OverlayRecorder* recorder = cameraRecorder())
        recorder->setMirrored(mirrored);
    hooks().applyCameraMirroring(mirrored);
}

void RecordingController::setPhoneShowsFrame(bool showsFrame)
{
    publish(phone_.phoneShowsFrame, showsFrame);
    if (phoneWindow_)
        phoneWindow_->setShowsPhoneFrame(showsFrame);
    hooks().phoneShowsFrameChanged(showsFrame);
}

void RecordingController::setPhoneHeight(double height)
{
    publish(phone_.phoneHeight, height);
    applyPhoneLayout();
    hooks().applyPhoneLayout();
}

std::optional<CaptureDeviceInfo> RecordingController::preferredMicrophone() const
{
    const QString wanted = platform_.settings.stringValue(Keys::preferredMicName(), QStringLiteral("Wireless Mic Rx"));
    for (const CaptureDeviceInfo& microphone : screen_.microphones) {
        if (microphone.localizedName.contains(wanted, Qt::CaseInsensitive))
            return microphone;
    }
    return std::nullopt;
}

std::optional<QString> RecordingController::selectedMicrophoneName() const
{
    if (!screen_.selectedMicrophoneID)
        return std::nullopt;
    for (const CaptureDeviceInfo& microphone : screen_.microphones) {
        if (microphone.uniqueID == *screen_.selectedMicrophoneID)
            return microphone.localizedName;
    }
    return std::nullopt;
}

bool RecordingController::usingWorseMicrophoneThanAvailable() const
{
    if (!screen_.selectedMicrophoneID)
        return false;
    const auto selected = std::find_if(screen_.microphones.begin(), screen_.microphones.end(),
        [this](const CaptureDeviceInfo& microphone) { return microphone.uniqueID == *screen_.selectedMicrophoneID; });
    if (selected == screen_.microphones.end())
        return false;
    const auto best = std::max_element(screen_.microphones.begin(), screen_.microphones.end(),
        [](const CaptureDeviceInfo& a, const CaptureDeviceInfo& b) { return a.rank < b.rank; });
    return selected->rank < best->rank;
}

QString RecordingController::displayName(const DisplayInfo& display)
{
    const QString size = QString::number(display.width) + QStringLiteral("×") + QString::number(display.height);
    if (!display.screenName.isEmpty())
        return display.screenName + QStringLiteral(" — ") + size;
    return QStringLiteral("Display ") + QString::number(display.displayID) + QStringLiteral(" — ") + size;
}

void RecordingController::dismissFinishJob(const QUuid& id)
{
    finishRetries_.remove(id);
    std::erase_if(finishJobs_, [&id](const FinishJob& job) { return job.id == id; });
    Q_EMIT changed();
}

void RecordingController::replayLastShort()
{
    if (short_.lastShortURL && QFileInfo::exists(*short_.lastShortURL))
        hooks().playShort(*short_.lastShortURL);
}

void RecordingController::revealLastRecording()
{
    if (lastFinalURL_)
        hooks().revealFile(*lastFinalURL_);
}

std::optional<NextRecording> RecordingController::loadNextRecording()
{
    const QString path = QDir(SaveLocation::current(platform_.settings)).filePath(QStringLiteral(".next_recording.json"));
    QString complaint;
    auto record = NextRecording::load(path, QDateTime::currentDateTimeUtc(), &complaint);
    // The poll runs every 2 s; say why a file is ignored once, not on every poll.
    if (!complaint.isEmpty() && complaint != lastHandoffComplaint_)
        Diagnostics::log(complaint);
    lastHandoffComplaint_ = complaint;
    return record;
}

void RecordingController::markRecordingHandled(const NextRecording& record)
{
    handoff_.handledNextRecording = record.token();
    platform_.settings.setString(Keys::longformHandledNextRecording(), *handoff_.handledNextRecording);
}
