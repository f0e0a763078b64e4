#include "takes/VoiceTake.h"

#include "capture/AudioOnlyRecorder.h"
#include "capture/CameraOnlyRecorder.h"
#include "finishing/FinishQueue.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "platform/system/Permissions.h"
#include "platform/system/WorkerPool.h"
#include "takedata/RecordingClock.h"
#include "takes/CameraOnlyPreview.h"
#include "takes/CameraWarmUp.h"
#include "takes/TakeFiles.h"
#include "takes/TakeServices.h"
#include "takes/ScreenStopPlan.h"
#include "takes/VoiceFinishWork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <qcorofuture.h>

namespace {

const QString longMicrophoneRefused = QStringLiteral(
    "Microphone access is off, so the voice take would be silent. Make sure PulseAudio or PipeWire runs for your session, then "
    "reopen the app.");
const QString trackMicrophoneRefused = QStringLiteral(
    "Microphone access is off, so the voice track would be silent. Make sure PulseAudio or PipeWire runs for your session, then "
    "reopen the app.");
const QString nothingSaved = QStringLiteral("VOICE TRACK FAILED — nothing was saved. Press Record again.");

// The log context of a start that could not get its voice, so a short's track reads apart from a voice take.
QString startContext(bool voiceTrack) { return voiceTrack ? QStringLiteral("voice track start") : QStringLiteral("voice-only start"); }

QString failedWords(const VoiceTake::Running& take) { return take.longForm ? QStringLiteral("VOICE TAKE FAILED") : QStringLiteral("VOICE TRACK FAILED"); }

// The take once its recorder stopped: its sound where it lies now (a folder renamed while it recorded takes
// the open file along), and its folder and sidecar beside it.
VoiceTake::Running following(VoiceTake::Running take, const QString& audio)
{
    take.folder = TakeFiles::followMovie(take.folder, audio);
    take.audio = audio;
    take.sidecar = take.folder.file(QStringLiteral("voice"), QStringLiteral(".json"));
    return take;
}

// A take that kept no sound file while its folder is no longer where it was: the folder was moved away or
// deleted, and the file went with it. Nothing when the folder is still there.
std::optional<QString> folderLostSentence(const VoiceTake::Running& take)
{
    if (QFileInfo(take.folder.path).isDir())
        return std::nullopt;
    return failedWords(take) + QStringLiteral(" — the take's folder was moved away or deleted while it recorded: ") + QFileInfo(take.audio).fileName()
        + QStringLiteral(" can no longer be found. Press Record again.");
}

} // namespace

QCoro::Task<std::optional<double>> VoiceTake::finishSound(Running take, QString audio, bool byRemote)
{
    VoiceSidecar::Facts facts{take.script, take.channel, take.startedAt, take.microphone, byRemote, 0, audio, std::nullopt,
        take.longForm ? std::optional<QString>(take.folder.path) : std::nullopt};
    auto work = std::make_shared<VoiceFinishWork>(VoiceFinishWork::Job{ScreenStopPlan::title(QFileInfo(take.folder.path).fileName(), take.folder.suffix),
        take.sidecar, std::move(facts)});
    QFuture<FinishWork::Outcome> finishing = host_.finishQueue().submit(work);
    co_await finishing;
    co_return work->durationSeconds();
}

VoiceTake::VoiceTake(TakeHost& host, CameraOnlyPreview* desk, TakeServices* services) : host_(host), desk_(desk), services_(services) {}

VoiceTake::~VoiceTake() = default;

AudioOnlyRecorder* VoiceTake::recorder()
{
    if (!recorder_ && services_)
        recorder_ = services_->makeVoiceRecorder();
    return recorder_.get();
}

double VoiceTake::elapsedSeconds() const { return running_ && sinceStart_.isValid() ? sinceStart_.elapsed() / 1000.0 : 0; }

TakeAccess VoiceTake::access(const TakeStart& start) const
{
    TakeAccess access;
    access.microphone = access.freshDevices = true;
    access.microphoneRefused = start.voiceTrack ? trackMicrophoneRefused : longMicrophoneRefused;
    access.area = start.voiceTrack ? QStringLiteral("voice track") : QStringLiteral("voice-only");
    // The desk camera is a bonus: refused access or no camera records the voice alone.
    access.camera = access.cameraOptional = start.voiceTrack;
    return access;
}

QCoro::Task<std::optional<QString>> VoiceTake::choose(const TakeStart& start)
{
    QPointer<VoiceTake> weak(this);
    const CaptureDeviceInfo* microphone = start.microphone();
    if (!microphone)
        co_return Permissions::noMicrophoneFound;
    microphone_ = *microphone;
    voiceTrack_ = start.voiceTrack;
    deskCamera_.reset();
    // No camera is asked for or touched for a long-form take.
    if (start.voiceTrack && start.cameraAllowed && desk_ && desk_->recorder()) {
        if (const CaptureDeviceInfo* camera = start.camera()) {
            deskCamera_ = *camera;
            QCoro::Task<bool> warming = CameraWarmUp::warmUp(*desk_, *camera, this, QStringLiteral("voice track"));
            co_await std::move(warming);
        }
    }
    co_return std::nullopt;
}

QCoro::Task<std::optional<QString>> VoiceTake::record(const TakeStart& start, const TakeFolder& folder)
{
    const Attempt attempt(*this);
    folder_ = folder;
    if (!start.voiceTrack) {
        Diagnostics::log(QStringLiteral("voice-only start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" take '") + folder_->suffix
            + QStringLiteral("', mic ") + microphone_.localizedName);
        co_return startRecorder(start, true, startContext(false));
    }
    // The words stand whether or not a desk camera was found.
    Diagnostics::log(QStringLiteral("short start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" voice track (audio + desk camera), mic ")
        + microphone_.localizedName + QStringLiteral(", script ") + (start.script ? start.script->scriptID : QStringLiteral("none")));
    if (const auto failure = startRecorder(start, false, startContext(true)))
        co_return failure;
    clock_ = std::make_shared<RecordingClock>();
    if (deskCamera_) {
        // The voice may fail while the desk camera is set up: that failure stands, and the studio sees the
        // take no longer running.
        QCoro::Task<> filming = startDeskCamera(attempt, *deskCamera_, microphone_, start.mirrorCamera);
        co_await std::move(filming);
    }
    co_return std::nullopt;
}

std::optional<QString> VoiceTake::startRecorder(const TakeStart& settings, bool longForm, const QString& context)
{
    const QString audio = folder_->file(QStringLiteral("voice"), QStringLiteral(".m4a"));
    AudioOnlyRecorder* voice = recorder();
    if (!voice) {
        Diagnostics::log(ErrorInfo{QStringLiteral("AudioOnlyRecorder"), 0, QStringLiteral("no voice recorder on this machine")}, context);
        folder_.reset();
        return QStringLiteral("The microphone can't record right now.");
    }
    if (const auto error = voice->start({microphone_.uniqueID, microphone_.localizedName}, audio)) {
        Diagnostics::log(error->info(), context);
        releaseDevices();
        folder_.reset();
        return error->errorDescription();
    }
    running_ = Running{*folder_, settings.script, QDateTime::currentDateTimeUtc(), audio, folder_->file(QStringLiteral("voice"), QStringLiteral(".json")),
        voice->microphoneName(), settings.channel, longForm};
    sinceStart_.start();
    return std::nullopt;
}

QCoro::Task<> VoiceTake::startDeskCamera(Attempt attempt, CaptureDeviceInfo camera, CaptureDeviceInfo microphone, bool mirrored)
{
    QPointer<VoiceTake> weak(this);
    CameraOnlyRecorder* recorder = desk_->recorder();
    recorder->setOnFailure([](const CameraOnlyRecorder::Failure& failure) {
        Diagnostics::log(QStringLiteral("desk camera failed, the voice track keeps recording: ") + failure.error.description());
    });
    desk_->forget();
    desk_->setShortProfile(true);
    // The voice recorder already feeds voice follow this microphone.
    recorder->feedsSpeech = false;
    QFuture<std::optional<ErrorInfo>> configuring = WorkerPool::takes().run([recorder, id = camera.uniqueID, microphone, mirrored] {
        return recorder->configure(id, CameraOnlyRecorder::Microphone{microphone.uniqueID, microphone.localizedName}, mirrored);
    });
    const std::optional<ErrorInfo> configureError = co_await configuring;
    if (!weak)
        co_return;
    if (!attempt) {
        // The track ended meanwhile: the desk camera is let go, never armed.
        Diagnostics::log(QStringLiteral("voice track ended while the desk camera was set up; the desk camera is not filmed"));
        recorder->feedsSpeech = true;
        desk_->settle();
        co_return;
    }
    std::optional<ErrorInfo> error = configureError;
    if (!error) {
        recorder->startPreview();
        if (const auto refused = recorder->startRecording(QDir(folder_->path).filePath(QStringLiteral("desk-camera.mov")), clock_))
            error = refused->info();
    }
    if (error) {
        Diagnostics::log(*error, QStringLiteral("voice track desk camera (voice track continues without it)"));
        recorder->feedsSpeech = true;
        desk_->settle();
        co_return;
    }
    deskCameraActive_ = true;
    Diagnostics::log(QStringLiteral("voice track: also filming the desk camera -> desk-camera.mov"));
}

QCoro::Task<> VoiceTake::stopDeskCameraIfRunning()
{
    if (!deskCameraActive_)
        co_return;
    deskCameraActive_ = false;
    QPointer<VoiceTake> weak(this);
    CameraOnlyRecorder* recorder = desk_->recorder();
    QCoro::Task<std::optional<QString>> stopping = recorder->stopRecording();
    const std::optional<QString> movie = co_await std::move(stopping);
    if (!weak)
        co_return;
    recorder->feedsSpeech = true;
    desk_->settle();
    Diagnostics::log(QStringLiteral("voice track: desk camera ") + (movie ? QStringLiteral("saved desk-camera.mov") : QStringLiteral("saved nothing")));
}

QCoro::Task<std::optional<QString>> VoiceTake::prepareDevices()
{
    AudioOnlyRecorder* voice = recorder();
    // Without a recorder the start itself says so.
    if (!voice)
        co_return std::nullopt;
    // Set before the microphone opens: sound lost under the numbers ends them at once.
    voice->onFailure = [this](const ErrorInfo& error) { runOnMainThread(this, [error](VoiceTake* take) { take->failDuringTake(error); }); };
    const AudioOnlyRecorder::Microphone microphone{microphone_.uniqueID, microphone_.localizedName};
    QFuture<std::optional<AudioOnlyRecorder::RecorderError>> opening = WorkerPool::takes().run([voice, microphone] { return voice->openMicrophone(microphone); });
    co_await opening;
    if (const auto error = opening.result()) {
        Diagnostics::log(error->info(), startContext(voiceTrack_));
        co_return error->errorDescription();
    }
    co_return std::nullopt;
}

void VoiceTake::releaseDevices()
{
    if (recorder_)
        recorder_->closeMicrophone();
}

QCoro::Task<std::optional<QString>> VoiceTake::stopRecorder()
{
    if (!recorder_)
        co_return std::nullopt;
    QFuture<std::optional<QString>> stopping = recorder_->stop();
    co_await stopping;
    co_return stopping.result();
}

QCoro::Task<> VoiceTake::stop(bool byRemote)
{
    if (!running_)
        co_return;
    endAttempt();
    QPointer<VoiceTake> weak(this);
    // From here a failure the recorder reports belongs to this stop, not to the take.
    const Running take = *std::exchange(running_, std::nullopt);
    QCoro::Task<std::optional<QString>> stopping = stopRecorder();
    const std::optional<QString> audio = co_await std::move(stopping);
    if (!weak)
        co_return;
    QCoro::Task<> deskStop = stopDeskCameraIfRunning();
    co_await std::move(deskStop);
    if (!weak)
        co_return;
    if (!audio) {
        if (const auto lost = folderLostSentence(take)) {
            folder_.reset();
            host_.ended({.failure = *lost});
        } else {
            host_.ended({.failure = nothingSaved, .folder = std::exchange(folder_, std::nullopt)});
        }
        co_return;
    }
    const Running saved = following(take, *audio);
    QCoro::Task<std::optional<double>> finishing = finishSound(saved, *audio, byRemote);
    const std::optional<double> duration = co_await std::move(finishing);
    if (!weak)
        co_return;
    Diagnostics::log(QStringLiteral("voice track finished ") + QFileInfo(saved.folder.path).fileName() + QStringLiteral(": ")
        + QString::asprintf("%.1f", duration.value_or(0)) + QStringLiteral("s, script ") + (saved.script ? saved.script->scriptID : QStringLiteral("none")));
    folder_.reset();
    host_.ended({.file = *audio, .folder = saved.folder, .projectFolder = false});
}

QCoro::Task<> VoiceTake::failDuringTake(ErrorInfo error)
{
    if (!running_) {
        // Sound opened for the start and lost under the numbers: they end now, and the start says why (outside
        // them this changes nothing). A failure the stop reports belongs to the stop.
        host_.preparedDeviceFailed();
        co_return;
    }
    endAttempt();
    QPointer<VoiceTake> weak(this);
    const Running take = *std::exchange(running_, std::nullopt);
    host_.enter(TakeStep::finishing);
    const QString what = failedWords(take);
    QCoro::Task<> deskStop = stopDeskCameraIfRunning();
    co_await std::move(deskStop);
    if (!weak)
        co_return;
    // The recorder keeps what it wrote up to the failure; finish that file rather than lose it.
    QCoro::Task<std::optional<QString>> stopping = stopRecorder();
    const std::optional<QString> audio = co_await std::move(stopping);
    if (!weak)
        co_return;
    if (audio) {
        QCoro::Task<std::optional<double>> finishing = finishSound(following(take, *audio), *audio, false);
        co_await std::move(finishing);
        if (!weak)
            co_return;
        Diagnostics::log(QStringLiteral("voice take stopped after a recorder failure; the sound so far stays in ") + QFileInfo(*audio).fileName());
        folder_.reset();
        host_.ended({.failure = what + QStringLiteral(" — the sound up to the failure was kept in ") + QFileInfo(*audio).fileName()
                + QStringLiteral(". Press Record again. (") + error.description + QLatin1Char(')'),
            .keptFile = *audio, .alarm = TakeEnd::Alarm::sound});
    } else if (const auto lost = folderLostSentence(take)) {
        folder_.reset();
        host_.ended({.failure = *lost, .alarm = TakeEnd::Alarm::sound});
    } else {
        host_.ended({.failure = what + QStringLiteral(" — nothing was saved. Press Record again. (") + error.description + QLatin1Char(')'),
            .folder = std::exchange(folder_, std::nullopt), .alarm = TakeEnd::Alarm::sound});
    }
}

QCoro::Task<> VoiceTake::discard()
{
    endAttempt();
    QPointer<VoiceTake> weak(this);
    const std::optional<Running> take = std::exchange(running_, std::nullopt);
    QCoro::Task<std::optional<QString>> stopping = stopRecorder();
    co_await std::move(stopping);
    if (!weak)
        co_return;
    QCoro::Task<> deskStop = stopDeskCameraIfRunning();
    co_await std::move(deskStop);
    if (!weak)
        co_return;
    if (take) {
        QFile::remove(take->audio);
        QFile::remove(take->sidecar);
        QFile::remove(QDir(take->folder.path).filePath(QStringLiteral("desk-camera.mov")));
    }
    folder_.reset();
}
