#include "takes/CameraOnlyTake.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "platform/system/WorkerPool.h"
#include "shorts/ShortFramingAccumulator.h"
#include "takedata/CameraFrameTap.h"
#include "takedata/RecordingClock.h"
#include "takes/CameraOnlyTakeHost.h"
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

const CaptureDeviceInfo* pick(const std::vector<CaptureDeviceInfo>& devices, const std::optional<QString>& selectedID)
{
    for (const CaptureDeviceInfo& device : devices)
        if (selectedID && device.uniqueID == *selectedID)
            return &device;
    return devices.empty() ? nullptr : &devices.front();
}

// "mm:ss", or "h:mm:ss" from an hour on.
QString clockText(double seconds)
{
    const long total = seconds > 0 ? static_cast<long>(seconds) : 0;
    const QString minutesSeconds = QStringLiteral("%1:%2").arg(total / 60 % 60, 2, 10, QLatin1Char('0')).arg(total % 60, 2, 10, QLatin1Char('0'));
    return total >= 3600 ? QString::number(total / 3600) + QLatin1Char(':') + minutesSeconds : minutesSeconds;
}

} // namespace

CameraOnlyTake::CameraOnlyTake(CameraOnlyTakeHost& host)
    : host_(host)
    , clock_(std::make_shared<RecordingClock>())
{
}

CameraOnlyTake::~CameraOnlyTake() = default;

QString CameraOnlyTake::failureSentence(const CameraOnlyRecorder::Failure& failure)
{
    const QString reason = failure.error.description();
    if (failure.keptFile)
        return QStringLiteral("RECORDING STOPPED — saved up to ") + clockText(failure.keptSeconds) + QStringLiteral(" in ")
            + QFileInfo(*failure.keptFile).fileName() + QStringLiteral(". (") + reason + QLatin1Char(')');
    return QStringLiteral("RECORDING FAILED — nothing was saved. Press Record again. (") + reason + QLatin1Char(')');
}

QCoro::Task<> CameraOnlyTake::start()
{
    const Attempt attempt = beginAttempt();
    QPointer<CameraOnlyTake> weak(this);
    CameraOnlyRecorder* recorder = host_.cameraOnlyRecorder();
    if (!recorder) {
        host_.fail(QStringLiteral("No camera found."));
        co_return;
    }
    host_.setLastFinalURL(std::nullopt);
    starting_ = true;
    // Camera first: without it the microphone is not asked for. Awaited by name: g++ 12 may destroy the
    // temporaries of a full expression holding a co_await twice.
    for (bool camera : {true, false}) {
        QCoro::Task<bool> asking = camera ? host_.requestCameraAccess() : host_.requestMicrophoneAccess();
        const bool granted = co_await std::move(asking);
        if (!attempt)
            co_return;
        if (!granted) {
            starting_ = false;
            co_return;
        }
    }
    host_.refreshPermissions();
    const CameraOnlyTakeSettings chosen = host_.cameraOnlyTakeSettings();
    const CaptureDeviceInfo* camera = pick(chosen.cameras, chosen.selectedCameraID);
    if (!camera) {
        starting_ = false;
        host_.fail(QStringLiteral("No camera found."));
        co_return;
    }
    const CaptureDeviceInfo cameraInfo = *camera;
    host_.refreshDevices();
    const CameraOnlyTakeSettings listed = host_.cameraOnlyTakeSettings();
    const CaptureDeviceInfo* microphone = pick(listed.microphones, listed.selectedMicrophoneID);
    if (!microphone) {
        starting_ = false;
        host_.fail(QStringLiteral("No microphone found."));
        co_return;
    }
    Diagnostics::log(QStringLiteral("camera-only mic: ") + microphone->localizedName);
    devices_ = Devices{cameraInfo, {microphone->uniqueID, microphone->localizedName}, listed.mirrorCamera};
    QCoro::Task<> filming = film(attempt);
    co_await std::move(filming);
    if (weak)
        starting_ = false;
}

QCoro::Task<std::optional<QString>> CameraOnlyTake::prepareDevices()
{
    QPointer<CameraOnlyTake> weak(this);
    CameraOnlyRecorder* recorder = host_.cameraOnlyRecorder();
    if (!recorder || !devices_)
        co_return QStringLiteral("No camera found.");
    const Devices devices = *devices_;
    const bool warm = host_.cameraOnlyPreviewIsWarm(devices.camera.uniqueID);
    // The microphone opens first, off the main thread: its sound flows and its timing has settled by the
    // time the camera has warmed up and the countdown has run.
    host_.setShortProfile(filmsShort());
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
    host_.settleCameraOnlyPreview();
}

QCoro::Task<> CameraOnlyTake::film(Attempt attempt)
{
    CameraOnlyRecorder* recorder = host_.cameraOnlyRecorder();
    const std::shared_ptr<const PixelBuffer> previewFrame = recorder->frameTap()->newest();
    const std::optional<QSize> previewDelivered = previewFrame ? std::optional(QSize(previewFrame->width(), previewFrame->height())) : std::nullopt;
    // Devices open beside the countdown; a countdown something else ended, or a device that failed, never
    // begins filming (the host has let the devices go).
    QCoro::Task<bool> counting = host_.countDown(host_.cameraOnlyTakeSettings().countdownFrame.value_or(QRect()), *this);
    const bool counted = co_await std::move(counting);
    if (!attempt || !counted)
        co_return;
    const CaptureDeviceInfo camera = devices_->camera;
    host_.enter(TakeStep::preparing);

    auto opened = openFolder();
    if (const ErrorInfo* error = std::get_if<ErrorInfo>(&opened)) {
        abandonStart(*error);
        co_return;
    }
    folder_ = std::get<TakeFolder>(std::move(opened));
    Diagnostics::log(logWord() + QStringLiteral(" start -> ") + QFileInfo(folder_->path).fileName() + QStringLiteral(" take '") + folder_->suffix
        + QLatin1Char('\''));
    clock_ = std::make_shared<RecordingClock>();
    recorder->setOnFailure([this](const CameraOnlyRecorder::Failure& failure) {
        runOnMainThread(this, [failure](CameraOnlyTake* take) { take->failDuringTake(failure); });
    });
    host_.forgetCameraOnlyPreview();
    prepareFilming(camera, previewDelivered);
    if (const auto refused = recorder->startRecording(folder_->file(fileWord(), QStringLiteral(".mov")), clock_)) {
        abandonStart(refused->info());
        co_return;
    }
    running_ = true;
    starting_ = false;
    filming_.start();
    host_.enter(TakeStep::recording);
    host_.startTicker();
}

void CameraOnlyTake::abandonStart(const ErrorInfo& error)
{
    Diagnostics::log(error, QStringLiteral("camera-only start"));
    host_.fail(error.description);
    discardEmptyFolder();
    starting_ = false;
    host_.settleCameraOnlyPreview();
}

void CameraOnlyTake::discardEmptyFolder()
{
    if (!folder_)
        return;
    TakeFiles::removeEmptyTakeFolder(*folder_);
    folder_.reset();
    host_.refreshDestinationName();
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
    host_.stopTicker();
    host_.enter(TakeStep::finishing);
    const TakeFolder folder = *folder_;
    QCoro::Task<std::optional<QString>> stopping = host_.cameraOnlyRecorder()->stopRecording();
    const std::optional<QString> file = co_await std::move(stopping);
    if (!weak)
        co_return;
    running_ = false;
    if (!file) {
        const CameraOnlyRecorder::RecorderError nothing{CameraOnlyRecorder::RecorderError::Kind::writerFailed, QStringLiteral("nothing was captured")};
        Diagnostics::log(nothing.info(), QStringLiteral("camera-only stop"));
        host_.fail(nothing.description());
        host_.settleCameraOnlyPreview();
        discardEmptyFolder();
        co_return;
    }
    host_.settleCameraOnlyPreview();
    QCoro::Task<std::optional<QString>> finishing = finish(*file, folder, byRemote);
    const std::optional<QString> final = co_await std::move(finishing);
    if (!weak)
        co_return;
    if (!final) {
        discardEmptyFolder();
        co_return;
    }
    host_.setLastFinalURL(*final);
    host_.showFinishedTake(*final, std::exchange(finishNote_, QString()));
    Diagnostics::log(QStringLiteral("camera-only finished ") + QFileInfo(*final).fileName());
    if (folder.created && !filmsShort()) {
        // The next take goes into the project this one made.
        host_.setDestinationFolder(folder.path);
    }
    folder_.reset();
    host_.refreshDestinationName();
}

QCoro::Task<> CameraOnlyTake::discard()
{
    if (!running_)
        co_return;
    endAttempt();
    QPointer<CameraOnlyTake> weak(this);
    host_.stopTicker();
    const std::optional<TakeFolder> folder = folder_;
    host_.enter(TakeStep::finishing);
    QCoro::Task<std::optional<QString>> stopping = host_.cameraOnlyRecorder()->stopRecording();
    co_await std::move(stopping);
    if (!weak)
        co_return;
    running_ = false;
    forgetTake();
    host_.shortFramingAccum().reset();
    host_.settleCameraOnlyPreview();
    TakeFiles::discardTake(folder);
    folder_.reset();
    host_.reset();
    host_.settleOverlayWindows();
}

void CameraOnlyTake::failDuringTake(const CameraOnlyRecorder::Failure& failure)
{
    // A stop or discard under way already ends the take.
    if (!running_ || !host_.rolling())
        return;
    endAttempt();
    running_ = false;
    host_.fail(failureSentence(failure));
    host_.stopTicker();
    discardEmptyFolder();
    // The camera and microphone are let go (or the preview restarted for an open window).
    host_.settleCameraOnlyPreview();
    host_.alarmTakeFailed();
}
