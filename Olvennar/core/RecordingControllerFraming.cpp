// Which picture each framing monitor reads, the "Check framing" window and its live picture, the camera-only
// preview between takes, and what the camera-only takes reach in the studio.
#include "core/RecordingController.h"

#include "capture/CameraOnlyRecorder.h"
#include "core/ControllerHooks.h"
#include "core/ProjectFolder.h"
#include "framing/CameraBubbleWindow.h"
#include "framing/FramingAssistantView.h"
#include "framing/FramingMonitor.h"
#include "framing/FramingRules.h"
#include "framing/FramingWindow.h"
#include "framing/LivePreviewSource.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Permissions.h"
#include "takes/Take.h"
#include "takes/OverlayRecorder.h"
#include "takes/TakeServices.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {

const QString cameraOnlyCameraRefused = QStringLiteral(
    "Camera access is off. Add your user to the \"video\" group and log out and in again, then reopen the app.");

} // namespace

void RecordingController::watchFramingInputs()
{
    framing_ = std::make_unique<FramingMonitor>();
    shortFraming_ = std::make_unique<FramingMonitor>();
    shortFraming_->setMessageProvider(&FramingRules::phoneMessage);
    shortFraming_->setGoodAdvice({FramingStatus::good, {QStringLiteral("Framing looks good")}});
    // Every published change re-routes, once per turn of the main loop however many changes it brought.
    connect(this, &RecordingController::changed, this, [this] {
        if (routingQueued_)
            return;
        routingQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            routingQueued_ = false;
            updateFramingRouting();
        });
    });
    connect(framing_.get(), &FramingMonitor::reportChanged, this, [this] { showFramingOnBubble(framing_->report(), framing_->isRunning()); });
    connect(shortFraming_.get(), &FramingMonitor::reportChanged, this, [this] {
        if (recordingOrPaused(phase_))
            shortFramingAccum_.add(shortFraming_->report());
    });
}

const CaptureDeviceInfo* RecordingController::previewCamera() const
{
    for (const CaptureDeviceInfo& camera : bubble_.cameras)
        if (bubble_.selectedCameraID && camera.uniqueID == *bubble_.selectedCameraID)
            return &camera;
    return bubble_.cameras.empty() ? nullptr : &bubble_.cameras.front();
}

bool RecordingController::cameraOnlyTakeOwnsPreview() const
{
    // From the start request on: a voice track's desk camera warms up while the phase is still idle.
    const Take* take = activeTake();
    return takeUnderWay() || (take && take->isRunning());
}

void RecordingController::stopCameraOnlyPreview()
{
    if (!bubble_.cameraOnlyPreviewCameraID || cameraOnlyTakeOwnsPreview())
        return;
    if (cameraOnlyRecorder_)
        cameraOnlyRecorder_->stopPreview();
    bubble_.cameraOnlyPreviewCameraID.reset();
}

void RecordingController::cameraOnlyStreamLost()
{
    // A take's own failure reaction covers a take; between takes the preview is forgotten, so the next
    // routing or device change starts it afresh (a camera that is back is picked up again).
    if (!cameraOnlyRecorder_ || cameraOnlyTakeOwnsPreview() || !bubble_.cameraOnlyPreviewCameraID || cameraOnlyRecorder_->isRunning())
        return;
    Diagnostics::log(QStringLiteral("framing preview lost its camera; it starts again when the camera is back"));
    cameraOnlyRecorder_->stopPreview();
    bubble_.cameraOnlyPreviewCameraID.reset();
    updateFramingRouting();
}

void RecordingController::updateFramingRouting()
{
    const CaptureMode mode = captureMode_;
    const bool slow = recordingOrPaused(phase_);
    std::shared_ptr<CameraFrameTap> deskSource;
    bool shortWanted = false;
    if (mode == CaptureMode::short_) {
        if (shortWindowOpen_) {
            ensureCameraOnlyPreview();
            shortWanted = true;
        } else {
            stopCameraOnlyPreview();
        }
        if (cameraOnlyRecorder_) {
            const QSize size = cameraOnlyRecorder_->frameSize();
            if (size.width() >= 2 && QSizeF(size) != short_.shortFrameSize)
                setShortFrameSize(QSizeF(size));
        }
    } else if (mode == CaptureMode::cameraOnly && framingWindowOpen_) {
        ensureCameraOnlyPreview();
        if (cameraOnlyRecorder_)
            deskSource = cameraOnlyRecorder_->frameTap();
    } else {
        stopCameraOnlyPreview();
        if (mode != CaptureMode::cameraOnly && bubble_.cameraEnabled) {
            if (OverlayRecorder* recorder = cameraRecorder(); recorder && recorder->isAttached())
                deskSource = recorder->frameTap();
        }
    }
    const bool bubbleShown = bubbleWindow_ && bubbleWindow_->isVisible();
    const bool deskWanted = framingWindowOpen_ || (mode == CaptureMode::screen && bubbleShown && panels_.framingHintsOnBubble);
    framing_->setCameraMissing(noCameraDevice());
    framing_->update(framingSpecs(), bubble_.mirrorCamera, deskWanted ? deskSource : nullptr, slow);
    shortFraming_->update(shortWanted ? std::vector<FramingCropSpec>{FramingCropSpec::short_()} : std::vector<FramingCropSpec>{},
        bubble_.mirrorCamera, shortWanted && cameraOnlyRecorder_ ? cameraOnlyRecorder_->frameTap() : nullptr, slow);
    routeFramingCheckPreview();
    showFramingOnBubble(framing_->report(), framing_->isRunning());
    hooks().updateFramingRouting();
}

std::vector<FramingCropSpec> RecordingController::framingSpecs() const
{
    if (captureMode_ != CaptureMode::screen)
        return {FramingCropSpec::fullFrame()};
    if (look_.screenLayout == ScreenLayout::classic)
        return {FramingCropSpec::shape(bubble_.bubbleShape)};
    const bool dynamic = look_.layoutMode == LayoutMode::dynamic && look_.studioBackground != StudioBackground::darkRoom;
    return FramingCropSpec::studioCrops(look_.faceLayout, look_.studioBackground, dynamic);
}

void RecordingController::setFramingWindowOpen(bool open)
{
    framingWindowOpen_ = open;
    updateFramingRouting();
}

void RecordingController::setShortWindowOpen(bool open)
{
    shortWindowOpen_ = open;
    updateFramingRouting();
}

// MARK: - The framing check window

QCoro::Task<> RecordingController::openFramingCheck()
{
    if (captureMode_ == CaptureMode::short_) {
        // The short preview asks for the camera itself.
        QCoro::Task<> opening = openShortPreview();
        co_await std::move(opening);
        co_return;
    }
    QPointer<RecordingController> weak(this);
    // Every mode's check shows a camera, so every mode asks for it first.
    QCoro::Task<bool> asking = askCameraForWindow(QStringLiteral("framing check"), cameraOnlyCameraRefused);
    const bool granted = co_await std::move(asking);
    if (!weak || !granted)
        co_return;
    if (captureMode_ != CaptureMode::cameraOnly && !bubble_.cameraEnabled)
        setCameraEnabled(true);
    if (!framingWindow_) {
        framingWindow_ = std::make_unique<FramingWindow>(new FramingAssistantView(*framing_));
        FramingWindow* window = framingWindow_.get();
        // Handled once the close has run its course; a controller that is gone by then hears nothing.
        window->onClose = [this, window] {
            QMetaObject::invokeMethod(this, [this, window] { framingCheckClosed(window); }, Qt::QueuedConnection);
        };
        window->centreOnScreen();
    }
    framingWindow_->show();
    framingWindow_->raise();
    framingWindow_->activateWindow();
    setFramingWindowOpen(true);
}

void RecordingController::framingCheckClosed(FramingWindow* window)
{
    // Reopened before this turn came: the window stays.
    if (framingWindow_.get() != window || window->isVisible())
        return;
    framingWindow_.reset();
    setFramingWindowOpen(false);
}

void RecordingController::routeFramingCheckPreview()
{
    // Each recorder's picture is wrapped once, so the stage keeps what it shows across routings.
    const auto wrapped = [](std::shared_ptr<const LivePreviewSource>& made, std::shared_ptr<CameraFrameTap> tap, bool flipped) {
        if (!made || made->tap != tap || made->mirrored != flipped)
            made = std::make_shared<const LivePreviewSource>(LivePreviewSource{std::move(tap), flipped});
        return made;
    };
    std::shared_ptr<const LivePreviewSource> live;
    if (framingWindowOpen_) {
        if (captureMode_ == CaptureMode::cameraOnly) {
            if (cameraOnlyRecorder_)
                live = wrapped(cameraOnlyFramingPreview_, cameraOnlyRecorder_->frameTap(), cameraOnlyRecorder_->previewFlipsTap());
        } else if (captureMode_ != CaptureMode::short_ && bubble_.cameraEnabled) {
            if (OverlayRecorder* recorder = cameraRecorder())
                live = wrapped(framingCameraPreview_, recorder->frameTap(), false);
        }
    }
    framing_->setLivePreview(std::move(live));
}

// MARK: - Camera-only preview

void RecordingController::ensureCameraOnlyPreview()
{
    if (cameraOnlyTakeOwnsPreview() || !cameraOnlyRecorder_)
        return;
    const CaptureDeviceInfo* camera = previewCamera();
    if (!camera)
        return;
    if (bubble_.cameraOnlyPreviewCameraID == camera->uniqueID && cameraOnlyPreviewShort_ == (captureMode_ == CaptureMode::short_))
        return;
    startCameraOnlyPreview(*camera);
}

void RecordingController::startCameraOnlyPreview(const CaptureDeviceInfo& camera)
{
    if (!cameraOnlyRecorder_)
        return;
    // Stored first: a configuration that failed is not tried again until the camera or mode changes.
    bubble_.cameraOnlyPreviewCameraID = camera.uniqueID;
    cameraOnlyPreviewShort_ = captureMode_ == CaptureMode::short_;
    setShortProfile(cameraOnlyPreviewShort_);
    if (const auto error = cameraOnlyRecorder_->configurePreview(camera.uniqueID, bubble_.mirrorCamera)) {
        Diagnostics::log(*error, QStringLiteral("framing preview"));
        return;
    }
    cameraOnlyRecorder_->startPreview();
    if (cameraOnlyPreviewShort_) {
        setShortFrameSize(QSizeF(cameraOnlyRecorder_->frameSize()));
        applyShortViewerDisplay();
    }
    Diagnostics::log(QStringLiteral("framing preview (") + (cameraOnlyPreviewShort_ ? QStringLiteral("short") : QStringLiteral("just me"))
        + QStringLiteral(") on ") + camera.localizedName);
}

void RecordingController::setShortProfile(bool shortProfile)
{
    if (!cameraOnlyRecorder_)
        return;
    cameraOnlyRecorder_->shortProfile = shortProfile;
    cameraOnlyRecorder_->maxHeight = CameraQualities::heightCap(bubble_.cameraQuality);
    cameraOnlyRecorder_->fileMirrorOverride = shortProfile ? std::optional<bool>(short_.shortMirrorFile) : std::nullopt;
}

void RecordingController::settleCameraOnlyPreview()
{
    bubble_.cameraOnlyPreviewCameraID.reset();
    const bool wanted = (framingWindowOpen_ && captureMode_ == CaptureMode::cameraOnly) || (shortWindowOpen_ && captureMode_ == CaptureMode::short_);
    if (wanted) {
        if (const CaptureDeviceInfo* camera = previewCamera()) {
            startCameraOnlyPreview(*camera);
            return;
        }
    }
    if (cameraOnlyRecorder_)
        cameraOnlyRecorder_->stopPreview();
}

void RecordingController::setShortViewerView(bool fileSide)
{
    publish(shortViewerView_, fileSide);
    applyShortViewerDisplay();
}

void RecordingController::applyShortViewerDisplay()
{
    if (captureMode_ != CaptureMode::short_ || !cameraOnlyRecorder_)
        return;
    cameraOnlyRecorder_->setPreviewDisplayMirrored(shortViewerView_ ? cameraOnlyRecorder_->fileMirrored() : bubble_.mirrorCamera);
}

void RecordingController::applyShortMirroring()
{
    // The file's mirroring never changes during a take.
    if (captureMode_ != CaptureMode::short_ || takeUnderWay() || !cameraOnlyRecorder_)
        return;
    cameraOnlyRecorder_->fileMirrorOverride = short_.shortMirrorFile;
    cameraOnlyRecorder_->setMirrored(bubble_.mirrorCamera);
    applyShortViewerDisplay();
}

// MARK: - What the camera-only takes reach

bool RecordingController::isWarm(const QString& cameraID) const
{
    // Warm means its frames arrive: a preview whose camera went away or never streamed warms up afresh.
    return cameraOnlyRecorder_ && cameraOnlyRecorder_->isDelivering() && bubble_.cameraOnlyPreviewCameraID == cameraID;
}

void RecordingController::showShortFeed(QSizeF size)
{
    setShortFrameSize(size);
    applyShortViewerDisplay();
}

std::variant<TakeFolder, ErrorInfo> RecordingController::resolveShortFolder(TakeStart& start)
{
    // The handoff of this channel pending when Record was pressed is the short's script: it names the folder
    // and may bring its root. One written since waits for the next short.
    loadNextTake();
    const std::optional<NextTake> script = startInFlight_ ? startShortScript_ : channelNextTake();
    setShortTakeScript(script);
    setShortTakeChannel(destination_.channel);
    const QString root = script && !script->shortsRoot.isEmpty() ? script->shortsRoot : ProjectFolder::shortsRoot(platform_.settings, destination_.channel);
    const ProjectFolder::Creation created
        = ProjectFolder::createNextShort(platform_.settings, script ? script->folderComponent() : QString(), root);
    if (!created.ok())
        return *created.error;
    start.script = script;
    start.channel = destination_.channel;
    return TakeFolder{created.path, QString(), true};
}

void RecordingController::alarmTakeFailed()
{
    playSound(QStringLiteral("Basso"));
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    QApplication::beep();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            window->raise();
            window->activateWindow();
            return;
        }
    }
}
