#include "takes/CameraOnlyTake.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "shorts/ShortFramingAccumulator.h"
#include "takedata/CameraFrameTap.h"
#include "takedata/RecordingClock.h"
#include "takes/CameraOnlyTakeHost.h"
#include "takes/CameraWarmUp.h"
#include "takes/TakeFiles.h"

#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrent>

#include <qcorofuture.h>
#include <qcorotimer.h>

#include <chrono>
#include <deque>

namespace {

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
        if (!weak)
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
    QCoro::Task<> filming = film(cameraInfo, {microphone->uniqueID, microphone->localizedName}, listed.mirrorCamera);
    co_await std::move(filming);
    if (weak)
        starting_ = false;
}

QCoro::Task<bool> CameraOnlyTake::warmUp(const CaptureDeviceInfo& camera)
{
    if (host_.cameraOnlyPreviewIsWarm(camera.uniqueID))
        co_return true;
    QPointer<CameraOnlyTake> weak(this);
    host_.startCameraOnlyPreview(camera);
    CameraOnlyRecorder* recorder = host_.cameraOnlyRecorder();
    QElapsedTimer since;
    since.start();
    std::deque<double> readings;
    std::shared_ptr<const PixelBuffer> seen;
    while (since.elapsed() < CameraWarmUp::longestSeconds * 1000) {
        QCoro::Task<> sleeping = QCoro::sleepFor(std::chrono::milliseconds(static_cast<int>(CameraWarmUp::pollSeconds * 1000)));
        co_await std::move(sleeping);
        if (!weak)
            co_return false;
        // Only new frames count as readings.
        if (auto frame = recorder->frameTap()->newest(); frame && frame != seen) {
            seen = frame;
            readings.push_back(CameraWarmUp::meanLuma(*frame));
            if (readings.size() > 3)
                readings.pop_front();
        }
        if (since.elapsed() > CameraWarmUp::shortestSeconds * 1000 && CameraWarmUp::settled(readings))
            break;
    }
    Diagnostics::log(QStringLiteral("camera-only: cold camera warmed up for %1 s before Record").arg(since.elapsed() / 1000.0, 0, 'f', 1));
    co_return true;
}

QCoro::Task<> CameraOnlyTake::film(const CaptureDeviceInfo& camera, CameraOnlyRecorder::Microphone microphone, bool mirrored)
{
    QPointer<CameraOnlyTake> weak(this);
    CameraOnlyRecorder* recorder = host_.cameraOnlyRecorder();
    QCoro::Task<bool> warming = warmUp(camera);
    if (!co_await std::move(warming) || !weak)
        co_return;
    const std::shared_ptr<const PixelBuffer> previewFrame = recorder->frameTap()->newest();
    const std::optional<QSize> previewDelivered = previewFrame ? std::optional(QSize(previewFrame->width(), previewFrame->height())) : std::nullopt;

    // The microphone opens before the countdown, off the main thread, so its sound flows when the count ends.
    host_.setShortProfile(filmsShort());
    QFuture<std::optional<ErrorInfo>> configuring = QtConcurrent::run([recorder, id = camera.uniqueID, microphone, mirrored] {
        return recorder->configure(id, microphone, mirrored);
    });
    const std::optional<ErrorInfo> configureError = co_await configuring;
    if (!weak)
        co_return;
    if (configureError) {
        abandonStart(*configureError);
        co_return;
    }
    recorder->startPreview();

    if (const std::optional<QRect> frame = host_.cameraOnlyTakeSettings().countdownFrame) {
        QCoro::Task<bool> counting = host_.countDown(*frame, *this);
        const bool counted = co_await std::move(counting);
        if (!weak)
            co_return;
        // A countdown something else ended, or a start overtaken meanwhile, never begins filming.
        if (!counted) {
            host_.settleCameraOnlyPreview();
            co_return;
        }
    }
    QFuture<void> flowing = QtConcurrent::run([recorder] { recorder->waitUntilFlowing(); });
    co_await flowing;
    if (!weak)
        co_return;
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
    recorder->onFailure = [this](const CameraOnlyRecorder::Failure& failure) {
        runOnMainThread(this, [failure](CameraOnlyTake* take) { take->failDuringTake(failure); });
    };
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
    host_.showFinishedTake(*final);
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
    running_ = false;
    host_.fail(failureSentence(failure));
    host_.stopTicker();
    discardEmptyFolder();
    // The camera and microphone are let go (or the preview restarted for an open window).
    host_.settleCameraOnlyPreview();
    host_.alarmTakeFailed();
}
