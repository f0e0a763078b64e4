#include "takes/VoiceTake.h"

#include "capture/AudioOnlyRecorder.h"
#include "finishing/TailTrim.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "takes/TakeFiles.h"
#include "takes/TakeServices.h"
#include "takes/VoiceSidecar.h"
#include "takes/VoiceTakeHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcorofuture.h>

namespace {

const QString microphoneRefused = QStringLiteral(
    "Microphone access is off, so the voice take would be silent. Make sure PulseAudio or PipeWire runs for your session, then "
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
        if (const auto cut = TailTrim::trim(path, 1.5))
            result.seconds = cut->trimmed;
    }
    const auto asset = MovieAsset::open(path);
    if (const auto* movie = std::get_if<MovieAsset>(&asset))
        result.duration = movie->duration().seconds();
    return result;
}

} // namespace

VoiceTake::VoiceTake(VoiceTakeHost& host, TakeServices* services) : host_(host), services_(services) {}

VoiceTake::~VoiceTake() = default;

AudioOnlyRecorder* VoiceTake::recorder()
{
    if (!recorder_ && services_)
        recorder_ = services_->makeVoiceRecorder();
    return recorder_.get();
}

double VoiceTake::elapsedSeconds() const { return running_ && sinceStart_.isValid() ? sinceStart_.elapsed() / 1000.0 : 0; }

QCoro::Task<> VoiceTake::start()
{
    QPointer<VoiceTake> weak(this);
    host_.setLastFinalURL(std::nullopt);
    const bool granted = co_await host_.requestMicrophone(microphoneRefused, QStringLiteral("voice-only"));
    if (!weak || !granted)
        co_return;
    const VoiceTakeSettings settings = host_.voiceTakeSettings();
    if (!settings.microphone) {
        host_.fail(QStringLiteral("No microphone found."));
        co_return;
    }
    // No camera is asked for or touched. The microphone opens while the numbers run.
    microphone_ = *settings.microphone;
    const bool counted = co_await host_.countDown(settings.countdownFrame.value_or(QRect()), *this);
    if (!weak || !counted)
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
    const QString audio = folder_->file(QStringLiteral("voice"), QStringLiteral(".m4a"));
    Diagnostics::log(QStringLiteral("voice-only start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" take '") + folder_->suffix
        + QStringLiteral("', mic ") + settings.microphone->localizedName);
    AudioOnlyRecorder* voice = recorder();
    if (!voice) {
        Diagnostics::log(ErrorInfo{QStringLiteral("AudioOnlyRecorder"), 0, QStringLiteral("no voice recorder on this machine")}, QStringLiteral("voice-only start"));
        abandon(QStringLiteral("The microphone can't record right now."));
        co_return;
    }
    voice->onFailure = [this](const ErrorInfo& error) { runOnMainThread(this, [error](VoiceTake* take) { take->failDuringTake(error); }); };
    if (const auto error = voice->start({settings.microphone->uniqueID, settings.microphone->localizedName}, audio)) {
        Diagnostics::log(error->info(), QStringLiteral("voice-only start"));
        releaseDevices();
        abandon(error->errorDescription());
        co_return;
    }
    running_ = Running{*folder_, std::nullopt, QDateTime::currentDateTimeUtc(), audio, folder_->file(QStringLiteral("voice"), QStringLiteral(".json")),
        voice->microphoneName(), settings.channel, true};
    sinceStart_.start();
    host_.enter(TakeStep::recording);
    host_.startTicker();
}

QCoro::Task<std::optional<QString>> VoiceTake::prepareDevices()
{
    AudioOnlyRecorder* voice = recorder();
    // Without a recorder the start itself says so.
    if (!voice)
        co_return std::nullopt;
    const AudioOnlyRecorder::Microphone microphone{microphone_.uniqueID, microphone_.localizedName};
    QFuture<std::optional<AudioOnlyRecorder::RecorderError>> opening = QtConcurrent::run([voice, microphone] { return voice->openMicrophone(microphone); });
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
    QPointer<VoiceTake> weak(this);
    host_.stopTicker();
    host_.enter(TakeStep::finishing);
    // From here a failure the recorder reports belongs to this stop, not to the take.
    const Running take = *std::exchange(running_, std::nullopt);
    QCoro::Task<std::optional<QString>> stopping = stopRecorder();
    const std::optional<QString> audio = co_await std::move(stopping);
    if (!weak)
        co_return;
    if (!audio) {
        host_.fail(nothingSaved);
        discardEmptyFolder();
        co_return;
    }
    QFuture<Trimmed> trimming = QtConcurrent::run(trimAndMeasure, *audio, byRemote);
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
    if (!running_)
        co_return;
    QPointer<VoiceTake> weak(this);
    const Running take = *std::exchange(running_, std::nullopt);
    host_.stopTicker();
    host_.enter(TakeStep::finishing);
    // The recorder keeps what it wrote up to the failure; finish that file rather than lose it.
    QCoro::Task<std::optional<QString>> stopping = stopRecorder();
    const std::optional<QString> audio = co_await std::move(stopping);
    if (!weak)
        co_return;
    if (audio) {
        QFuture<Trimmed> measuring = QtConcurrent::run(trimAndMeasure, *audio, false);
        co_await measuring;
        if (!weak)
            co_return;
        VoiceSidecar::write(take.sidecar, {take.script, take.channel, take.startedAt, take.microphone, false, 0, *audio,
                                              measuring.result().duration, std::optional<QString>(take.folder.path)});
        Diagnostics::log(QStringLiteral("voice take stopped after a recorder failure; the sound so far stays in ") + QFileInfo(*audio).fileName());
        folder_.reset();
        host_.setLastFinalURL(*audio);
        host_.fail(QStringLiteral("VOICE TAKE FAILED — the sound up to the failure was kept in ") + QFileInfo(*audio).fileName()
            + QStringLiteral(". Press Record again. (") + error.description + QLatin1Char(')'));
    } else {
        discardEmptyFolder();
        host_.fail(QStringLiteral("VOICE TAKE FAILED — nothing was saved. Press Record again. (") + error.description + QLatin1Char(')'));
    }
    host_.playSound(QStringLiteral("Basso"));
}

QCoro::Task<> VoiceTake::discard()
{
    QPointer<VoiceTake> weak(this);
    host_.stopTicker();
    const std::optional<TakeFolder> folder = folder_;
    const std::optional<Running> take = std::exchange(running_, std::nullopt);
    host_.enter(TakeStep::finishing);
    QCoro::Task<std::optional<QString>> stopping = stopRecorder();
    co_await std::move(stopping);
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
