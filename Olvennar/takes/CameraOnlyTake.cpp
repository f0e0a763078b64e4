#include "takes/CameraOnlyTake.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "platform/system/Permissions.h"
#include "platform/system/WorkerPool.h"
#include "shorts/ShortFramingAccumulator.h"
#include "takedata/CameraFrameTap.h"
#include "takedata/ClockText.h"
#include "takedata/RecordingClock.h"
#include "takes/CameraOnlyPreview.h"
#include "takes/CameraWarmUp.h"
#include "takes/TakeFiles.h"

#include <QFileInfo>
#include <QPointer>

#include <qcorofuture.h>
#include <qcorotimer.h>

#include <chrono>
#include <deque>
#include <utility>

namespace {

// Longer than the sound backend takes to settle a fresh source.
constexpr int soundWaitMilliseconds = 5000;

const QString cameraRefused = QStringLiteral(
    "Camera access is off. Add your user to the \"video\" group and log out and in again, then reopen the app.");
const QString microphoneRefused = QStringLiteral(
    "Microphone access is off, so the take would have no voice. Make sure PulseAudio or PipeWire runs for your session, then reopen "
    "the app.");

} // namespace

CameraOnlyTake::CameraOnlyTake(TakeHost& host, CameraOnlyPreview& preview)
    : host_(host)
    , preview_(preview)
    , clock_(std::make_shared<RecordingClock>())
{
}

CameraOnlyTake::~CameraOnlyTake() = default;

QString CameraOnlyTake::failureSentence(const CameraOnlyRecorder::Failure& failure)
{
    const QString reason = failure.error.description();
    if (failure.keptFile)
        return QStringLiteral("RECORDING STOPPED — saved up to ") + ClockText::format(failure.keptSeconds, ClockText::Form::hoursFromAnHour) + QStringLiteral(" in ")
            + QFileInfo(*failure.keptFile).fileName() + QStringLiteral(". (") + reason + QLatin1Char(')');
    return QStringLiteral("RECORDING FAILED — nothing was saved. Press Record again. (") + reason + QLatin1Char(')');
}

TakeAccess CameraOnlyTake::access(const TakeStart& start) const
{
    (void)start;
    TakeAccess access;
    access.microphone = access.camera = access.cameraFirst = access.noCameraAsksNothing = access.freshDevices = true;
    access.cameraRefused = cameraRefused;
    access.microphoneRefused = microphoneRefused;
    access.area = QStringLiteral("camera-only");
    return access;
}

std::optional<QString> CameraOnlyTake::refusal(const TakeStart& start) const
{
    (void)start;
    if (!preview_.recorder())
        return Permissions::noCameraFound;
    return std::nullopt;
}

QCoro::Task<std::optional<QString>> CameraOnlyTake::choose(const TakeStart& start)
{
    const CaptureDeviceInfo* camera = start.camera();
    if (!camera)
        co_return Permissions::noCameraFound;
    const CaptureDeviceInfo* microphone = start.microphone();
    if (!microphone)
        co_return Permissions::noMicrophoneFound;
    Diagnostics::log(QStringLiteral("camera-only mic: ") + microphone->localizedName);
    devices_ = Devices{*camera, {microphone->uniqueID, microphone->localizedName}, start.mirrorCamera};
    const std::shared_ptr<const PixelBuffer> previewFrame = preview_.recorder()->frameTap()->newest();
    previewDelivered_ = previewFrame ? std::optional(QSize(previewFrame->width(), previewFrame->height())) : std::nullopt;
    co_return std::nullopt;
}

QCoro::Task<std::optional<QString>> CameraOnlyTake::prepareDevices()
{
    QPointer<CameraOnlyTake> weak(this);
    CameraOnlyRecorder* recorder = preview_.recorder();
    if (!recorder || !devices_)
        co_return Permissions::noCameraFound;
    const Devices devices = *devices_;
    const bool warm = preview_.isWarm(devices.camera.uniqueID);
    // The microphone opens first, off the main thread: its sound flows and its timing has settled by the
    // time the camera has warmed up and the countdown has run.
    preview_.setShortProfile(filmsShort());
    // Sound lost before the take is armed ends the numbers at once (outside them it changes nothing); the
    // start then says why.
    recorder->setOnMicrophoneStoppedAhead([this](const QString&) {
        runOnMainThread(this, [](CameraOnlyTake* take) { take->host_.preparedDeviceFailed(); });
    });
    QFuture<std::optional<ErrorInfo>> configuring = WorkerPool::takes().run([recorder, devices] {
        return recorder->configure(devices.camera.uniqueID, devices.microphone, devices.mirrored);
    });
    const std::optional<ErrorInfo> configureError = co_await configuring;
    if (!weak)
        co_return QStringLiteral("The take went away.");
    if (configureError) {
        Diagnostics::log(*configureError, QStringLiteral("camera-only start"));
        co_return configureError->description;
    }
    recorder->startPreview();
    if (!warm) {
        QCoro::Task<bool> warming = CameraWarmUp::waitUntilSettled(*recorder, this, QStringLiteral("camera-only"));
        if (!co_await std::move(warming) || !weak)
            co_return QStringLiteral("The take went away.");
    }
    // A camera that gave no frame in its warm-up would film nothing: the take fails now, not at its stop.
    // A warm camera the take reconfigured gets the warm-up's time for its first frame.
    QCoro::Task<bool> delivering = CameraWarmUp::waitForFrames(*recorder, this, warm ? CameraWarmUp::longestSeconds : 0);
    if (!co_await std::move(delivering)) {
        if (!weak)
            co_return QStringLiteral("The take went away.");
        const CameraOnlyRecorder::RecorderError silent{CameraOnlyRecorder::RecorderError::Kind::cannotAddOutput, QStringLiteral("no frame in the warm-up")};
        Diagnostics::log(silent.info(), QStringLiteral("camera-only start"));
        co_return silent.description();
    }
    QFuture<void> flowing = WorkerPool::takes().run([recorder] { recorder->waitUntilFlowing(); });
    co_await flowing;
    // A fresh source holds its first blocks until its timing settles; the take starts once sound arrives,
    // so the start gate finds it at once (past the limit the gate copes without).
    QElapsedTimer waiting;
    waiting.start();
    while (weak && !recorder->hasSoundArrived() && waiting.elapsed() < soundWaitMilliseconds) {
        QCoro::Task<> sleeping = QCoro::sleepFor(std::chrono::milliseconds(50));
        co_await std::move(sleeping);
    }
    co_return std::nullopt;
}

void CameraOnlyTake::releaseDevices()
{
    // The microphone goes; the camera stays only for a window that shows it.
    preview_.settle();
}

QCoro::Task<std::optional<QString>> CameraOnlyTake::record(const TakeStart& start, const TakeFolder& folder)
{
    CameraOnlyRecorder* recorder = preview_.recorder();
    const CaptureDeviceInfo camera = devices_->camera;
    folder_ = folder;
    Diagnostics::log(logWord() + QStringLiteral(" start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" take '") + folder_->suffix
        + QLatin1Char('\''));
    clock_ = std::make_shared<RecordingClock>();
    recorder->setOnFailure([this](const CameraOnlyRecorder::Failure& failure) {
        runOnMainThread(this, [failure](CameraOnlyTake* take) { take->failDuringTake(failure); });
    });
    preview_.forget();
    prepareFilming(start, camera, previewDelivered_);
    if (const auto refused = recorder->startRecording(folder_->file(fileWord(), QStringLiteral(".mov")), clock_)) {
        Diagnostics::log(refused->info(), QStringLiteral("camera-only start"));
        folder_.reset();
        preview_.settle();
        co_return refused->info().description;
    }
    running_ = true;
    filming_.start();
    co_return std::nullopt;
}

// The recorder has no pause: the take clock drops what comes while paused and closes the gap after.
void CameraOnlyTake::pause() { clock_->pause(); }
void CameraOnlyTake::resume() { clock_->resume(); }
double CameraOnlyTake::elapsedSeconds() const { return filming_.isValid() ? filming_.elapsed() / 1000.0 : 0; }

QCoro::Task<> CameraOnlyTake::stop(bool byRemote)
{
    if (!running_)
        co_return;
    endAttempt();
    QPointer<CameraOnlyTake> weak(this);
    TakeFolder folder = *std::exchange(folder_, std::nullopt);
    QCoro::Task<std::optional<QString>> stopping = preview_.recorder()->stopRecording();
    const std::optional<QString> file = co_await std::move(stopping);
    if (!weak)
        co_return;
    running_ = false;
    if (file)
        folder = TakeFiles::followMovie(folder, *file);
    if (const std::optional<CameraOnlyRecorder::Failure> failed = file ? std::nullopt : preview_.recorder()->takeFailure(); failed && failed->keptFile) {
        // The writer failed as the take stopped (its disk filled, say): what it kept is the take's, said as a
        // failure during the take says it.
        Diagnostics::log(failed->error.info(), QStringLiteral("camera-only stop"));
        preview_.settle();
        host_.ended({.failure = failureSentence(*failed), .folder = folder, .alarm = TakeEnd::Alarm::front});
        co_return;
    }
    if (!file) {
        const CameraOnlyRecorder::RecorderError nothing{CameraOnlyRecorder::RecorderError::Kind::writerFailed, QStringLiteral("nothing was captured")};
        Diagnostics::log(nothing.info(), QStringLiteral("camera-only stop"));
        preview_.settle();
        host_.ended({.failure = nothing.description(), .folder = folder});
        co_return;
    }
    preview_.settle();
    QCoro::Task<TakeEnd> finishing = finish(*file, folder, byRemote);
    TakeEnd end = co_await std::move(finishing);
    if (!weak)
        co_return;
    end.folder = folder;
    end.projectFolder = !filmsShort();
    host_.ended(end);
    if (end.file)
        Diagnostics::log(QStringLiteral("camera-only finished ") + QFileInfo(*end.file).fileName());
}

QCoro::Task<> CameraOnlyTake::discard()
{
    if (!running_)
        co_return;
    endAttempt();
    QPointer<CameraOnlyTake> weak(this);
    QCoro::Task<std::optional<QString>> stopping = preview_.recorder()->stopRecording();
    co_await std::move(stopping);
    if (!weak)
        co_return;
    running_ = false;
    forgetTake();
    preview_.framingTotals().reset();
    preview_.settle();
    folder_.reset();
}

void CameraOnlyTake::failDuringTake(const CameraOnlyRecorder::Failure& failure)
{
    // A stop or discard under way already ends the take.
    if (!running_ || !host_.rolling())
        return;
    endAttempt();
    running_ = false;
    // The camera and microphone are let go (or the preview restarted for an open window).
    preview_.settle();
    host_.ended({.failure = failureSentence(failure), .folder = std::exchange(folder_, std::nullopt), .alarm = TakeEnd::Alarm::front});
}
