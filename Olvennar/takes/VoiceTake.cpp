#include "takes/VoiceTake.h"

#include "finishing/SaveJob.h"
#include "capture/AudioOnlyRecorder.h"
#include "capture/CameraOnlyRecorder.h"
#include "finishing/TailTrim.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "platform/system/WorkerPool.h"
#include "takedata/RecordingClock.h"
#include "takes/CameraOnlyTakeHost.h"
#include "takes/CameraWarmUp.h"
#include "takes/TakeFiles.h"
#include "takes/TakeServices.h"
#include "takes/VoiceSidecar.h"
#include "takes/VoiceTakeHost.h"

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

struct Trimmed {
    double seconds = 0;
    std::optional<double> duration;
};

// The remote stop's tail cut (when asked) and the file's duration after it. Blocking.
Trimmed trimAndMeasure(const QString& path, bool byRemote)
{
    Trimmed result;
    if (byRemote) {
        if (const auto cut = TailTrim::trim(path, SaveJob::remoteTailSeconds))
            result.seconds = cut->trimmed;
    }
    const auto asset = MovieAsset::open(path);
    if (const auto* movie = std::get_if<MovieAsset>(&asset))
        result.duration = movie->duration().seconds();
    return result;
}

} // namespace

VoiceTake::VoiceTake(VoiceTakeHost& host, CameraOnlyTakeHost* desk, TakeServices* services) : host_(host), desk_(desk), services_(services) {}

VoiceTake::~VoiceTake() = default;

AudioOnlyRecorder* VoiceTake::recorder()
{
    if (!recorder_ && services_)
        recorder_ = services_->makeVoiceRecorder();
    return recorder_.get();
}

double VoiceTake::elapsedSeconds() const { return running_ && sinceStart_.isValid() ? sinceStart_.elapsed() / 1000.0 : 0; }

QCoro::Task<std::optional<VoiceTakeSettings>> VoiceTake::openMicrophoneStep(QString refusedSentence, QString area)
{
    QPointer<VoiceTake> weak(this);
    host_.setLastFinalURL(std::nullopt);
    const bool granted = co_await host_.requestMicrophone(refusedSentence, area);
    if (!weak || !granted)
        co_return std::nullopt;
    VoiceTakeSettings settings = host_.voiceTakeSettings();
    if (!settings.microphone) {
        host_.fail(QStringLiteral("No microphone found."));
        co_return std::nullopt;
    }
    microphone_ = *settings.microphone;
    co_return settings;
}

QCoro::Task<> VoiceTake::start()
{
    const Attempt attempt = beginAttempt();
    QCoro::Task<std::optional<VoiceTakeSettings>> opening = openMicrophoneStep(longMicrophoneRefused, QStringLiteral("voice-only"));
    const std::optional<VoiceTakeSettings> settings = co_await std::move(opening);
    if (!attempt || !settings)
        co_return;
    // No camera is asked for or touched. The microphone opens while the numbers run.
    const bool counted = co_await host_.countDown(settings->countdownFrame.value_or(QRect()), *this);
    if (!attempt || !counted)
        co_return;
    host_.enter(TakeStep::preparing);
    auto opened = host_.openTakeFolder();
    if (const ErrorInfo* error = std::get_if<ErrorInfo>(&opened)) {
        Diagnostics::log(*error, QStringLiteral("voice-only start"));
        releaseDevices();
        host_.fail(error->description);
        co_return;
    }
    folder_ = std::get<TakeFolder>(std::move(opened));
    Diagnostics::log(QStringLiteral("voice-only start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" take '") + folder_->suffix
        + QStringLiteral("', mic ") + microphone_.localizedName);
    if (!startRecorder(*settings, std::nullopt, true, QStringLiteral("voice-only start")))
        co_return;
    host_.enter(TakeStep::recording);
    host_.startTicker();
}

QCoro::Task<> VoiceTake::startTrack()
{
    const Attempt attempt = beginAttempt();
    QCoro::Task<std::optional<VoiceTakeSettings>> opening = openMicrophoneStep(trackMicrophoneRefused, QStringLiteral("voice track"));
    const std::optional<VoiceTakeSettings> settings = co_await std::move(opening);
    if (!attempt || !settings)
        co_return;
    // The desk camera is a bonus: refused access or no camera records the voice alone.
    std::optional<CaptureDeviceInfo> camera;
    const bool cameraAllowed = co_await host_.cameraAllowed();
    if (!attempt)
        co_return;
    if (cameraAllowed && desk_ && desk_->cameraOnlyRecorder()) {
        const CameraOnlyTakeSettings listed = desk_->cameraOnlyTakeSettings();
        for (const CaptureDeviceInfo& device : listed.cameras)
            if (!camera || (listed.selectedCameraID && device.uniqueID == *listed.selectedCameraID))
                camera = device;
        if (camera) {
            QCoro::Task<bool> warming = CameraWarmUp::warmUp(*desk_, *camera, this, QStringLiteral("voice track"));
            if (!co_await std::move(warming) || !attempt)
                co_return;
        }
    }
    const bool counted = co_await host_.countDown(settings->countdownFrame.value_or(QRect()), *this);
    if (!attempt || !counted)
        co_return;
    host_.enter(TakeStep::preparing);
    auto resolved = desk_ ? desk_->resolveShortFolder() : std::variant<ShortFolder, ErrorInfo>(ErrorInfo{QStringLiteral("VoiceTake"), 0, QStringLiteral("No short folder.")});
    if (const ErrorInfo* error = std::get_if<ErrorInfo>(&resolved)) {
        Diagnostics::log(*error, QStringLiteral("voice track start"));
        releaseDevices();
        host_.fail(error->description);
        co_return;
    }
    ShortFolder made = std::get<ShortFolder>(std::move(resolved));
    folder_ = made.folder;
    // The words stand whether or not a desk camera was found.
    Diagnostics::log(QStringLiteral("short start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" voice track (audio + desk camera), mic ")
        + microphone_.localizedName + QStringLiteral(", script ") + (made.script ? made.script->scriptID : QStringLiteral("none")));
    VoiceTakeSettings trackSettings = *settings;
    trackSettings.channel = made.channel;
    if (!startRecorder(trackSettings, made.script, false, QStringLiteral("voice track start")))
        co_return;
    clock_ = std::make_shared<RecordingClock>();
    if (camera) {
        QCoro::Task<> filming = startDeskCamera(attempt, *camera, microphone_, desk_->cameraOnlyTakeSettings().mirrorCamera);
        co_await std::move(filming);
        // The voice may have failed while the desk camera was set up: that failure stands.
        if (!attempt)
            co_return;
    }
    host_.enter(TakeStep::recording);
    host_.startTicker();
}

bool VoiceTake::startRecorder(const VoiceTakeSettings& settings, const std::optional<NextTake>& script, bool longForm, const QString& context)
{
    const QString audio = folder_->file(QStringLiteral("voice"), QStringLiteral(".m4a"));
    AudioOnlyRecorder* voice = recorder();
    if (!voice) {
        Diagnostics::log(ErrorInfo{QStringLiteral("AudioOnlyRecorder"), 0, QStringLiteral("no voice recorder on this machine")}, context);
        abandon(QStringLiteral("The microphone can't record right now."));
        return false;
    }
    voice->onFailure = [this](const ErrorInfo& error) { runOnMainThread(this, [error](VoiceTake* take) { take->failDuringTake(error); }); };
    if (const auto error = voice->start({microphone_.uniqueID, microphone_.localizedName}, audio)) {
        Diagnostics::log(error->info(), context);
        releaseDevices();
        abandon(error->errorDescription());
        return false;
    }
    running_ = Running{*folder_, script, QDateTime::currentDateTimeUtc(), audio, folder_->file(QStringLiteral("voice"), QStringLiteral(".json")),
        voice->microphoneName(), settings.channel, longForm};
    sinceStart_.start();
    return true;
}

QCoro::Task<> VoiceTake::startDeskCamera(Attempt attempt, CaptureDeviceInfo camera, CaptureDeviceInfo microphone, bool mirrored)
{
    QPointer<VoiceTake> weak(this);
    CameraOnlyRecorder* recorder = desk_->cameraOnlyRecorder();
    recorder->setOnFailure([](const CameraOnlyRecorder::Failure& failure) {
        Diagnostics::log(QStringLiteral("desk camera failed, the voice track keeps recording: ") + failure.error.description());
    });
    desk_->forgetCameraOnlyPreview();
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
        desk_->settleCameraOnlyPreview();
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
        desk_->settleCameraOnlyPreview();
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
    CameraOnlyRecorder* recorder = desk_->cameraOnlyRecorder();
    QCoro::Task<std::optional<QString>> stopping = recorder->stopRecording();
    const std::optional<QString> movie = co_await std::move(stopping);
    if (!weak)
        co_return;
    recorder->feedsSpeech = true;
    desk_->settleCameraOnlyPreview();
    Diagnostics::log(QStringLiteral("voice track: desk camera ") + (movie ? QStringLiteral("saved desk-camera.mov") : QStringLiteral("saved nothing")));
}

QCoro::Task<std::optional<QString>> VoiceTake::prepareDevices()
{
    AudioOnlyRecorder* voice = recorder();
    // Without a recorder the start itself says so.
    if (!voice)
        co_return std::nullopt;
    const AudioOnlyRecorder::Microphone microphone{microphone_.uniqueID, microphone_.localizedName};
    QFuture<std::optional<AudioOnlyRecorder::RecorderError>> opening = WorkerPool::takes().run([voice, microphone] { return voice->openMicrophone(microphone); });
    co_await opening;
    if (const auto error = opening.result()) {
        Diagnostics::log(error->info(), QStringLiteral("voice-only start"));
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
    host_.stopTicker();
    host_.enter(TakeStep::finishing);
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
        host_.fail(nothingSaved);
        discardEmptyFolder();
        co_return;
    }
    QFuture<Trimmed> trimming = WorkerPool::takes().run(trimAndMeasure, *audio, byRemote);
    co_await trimming;
    if (!weak)
        co_return;
    const Trimmed trimmed = trimming.result();
    VoiceSidecar::write(take.sidecar, {take.script, take.channel, take.startedAt, take.microphone, byRemote, trimmed.seconds, *audio,
                                          trimmed.duration, take.longForm ? std::optional<QString>(take.folder.path) : std::nullopt});
    Diagnostics::log(QStringLiteral("voice track finished ") + QFileInfo(take.folder.path).fileName() + QStringLiteral(": ")
        + QString::asprintf("%.1f", trimmed.duration.value_or(0)) + QStringLiteral("s, script ") + (take.script ? take.script->scriptID : QStringLiteral("none")));
    folder_.reset();
    host_.showFinishedFile(*audio);
    host_.refreshDestinationName();
}

QCoro::Task<> VoiceTake::failDuringTake(ErrorInfo error)
{
    // A failure the stop reports belongs to the stop.
    if (!running_)
        co_return;
    endAttempt();
    QPointer<VoiceTake> weak(this);
    const Running take = *std::exchange(running_, std::nullopt);
    host_.stopTicker();
    host_.enter(TakeStep::finishing);
    const QString what = take.longForm ? QStringLiteral("VOICE TAKE FAILED") : QStringLiteral("VOICE TRACK FAILED");
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
        QFuture<Trimmed> measuring = WorkerPool::takes().run(trimAndMeasure, *audio, false);
        co_await measuring;
        if (!weak)
            co_return;
        VoiceSidecar::write(take.sidecar, {take.script, take.channel, take.startedAt, take.microphone, false, 0, *audio, measuring.result().duration,
                                              take.longForm ? std::optional<QString>(take.folder.path) : std::nullopt});
        Diagnostics::log(QStringLiteral("voice take stopped after a recorder failure; the sound so far stays in ") + QFileInfo(*audio).fileName());
        folder_.reset();
        host_.setLastFinalURL(*audio);
        host_.fail(what + QStringLiteral(" — the sound up to the failure was kept in ") + QFileInfo(*audio).fileName()
            + QStringLiteral(". Press Record again. (") + error.description + QLatin1Char(')'));
    } else {
        discardEmptyFolder();
        host_.fail(what + QStringLiteral(" — nothing was saved. Press Record again. (") + error.description + QLatin1Char(')'));
    }
    host_.playSound(QStringLiteral("Basso"));
}

QCoro::Task<> VoiceTake::discard()
{
    endAttempt();
    QPointer<VoiceTake> weak(this);
    host_.stopTicker();
    const std::optional<TakeFolder> folder = folder_;
    const std::optional<Running> take = std::exchange(running_, std::nullopt);
    host_.enter(TakeStep::finishing);
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
    if (folder) {
        TakeFiles::deleteTakeFiles(folder->path, folder->suffix);
        if (folder->created)
            TakeFiles::removeFolderIfOnlyLeftovers(folder->path, folder->suffix);
    }
    Diagnostics::log(folder ? QStringLiteral("discarded take in ") + QFileInfo(folder->path).fileName() : QStringLiteral("discarded take"));
    folder_.reset();
    host_.reset();
    host_.settleOverlayWindows();
}

void VoiceTake::abandon(const QString& sentence)
{
    host_.fail(sentence);
    discardEmptyFolder();
}

void VoiceTake::discardEmptyFolder()
{
    if (!folder_)
        return;
    if (folder_->created && TakeFiles::removeFolderIfOnlyLeftovers(folder_->path, folder_->suffix))
        Diagnostics::log(QStringLiteral("discarded empty folder ") + QFileInfo(folder_->path).fileName());
    folder_.reset();
    host_.refreshDestinationName();
}
