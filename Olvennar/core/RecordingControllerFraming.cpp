// What camera routing reads in the studio, the "Check framing" window, and the alarm of a failed take.
#include "core/RecordingController.h"

#include "capture/CameraOnlyRecorder.h"
#include "core/ControllerHooks.h"
#include "framing/FramingMonitor.h"
#include "framing/StudioWindows.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Permissions.h"
#include "takes/CameraRouting.h"
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
    connect(&routing_->framing(), &FramingMonitor::reportChanged, this, [this] { showFramingOnBubble(); });
}

CameraRouting::Inputs RecordingController::routingInputs() const
{
    CameraRouting::Inputs inputs;
    inputs.mode = traits();
    inputs.rolling = recordingOrPaused(phase_);
    inputs.takeUnderWay = takeUnderWay();
    inputs.takeOwnsPreview = cameraOnlyTakeOwnsPreview();
    inputs.cameras = bubble_.cameras;
    inputs.selectedCameraID = bubble_.selectedCameraID;
    inputs.mirrorCamera = bubble_.mirrorCamera;
    inputs.cameraEnabled = bubble_.cameraEnabled;
    inputs.maxHeight = CameraQualities::heightCap(bubble_.cameraQuality);
    inputs.shortMirrorFile = short_.shortMirrorFile;
    inputs.shortFrameSize = short_.shortFrameSize;
    inputs.bubbleShown = bubblePanel_->window() && bubblePanel_->window()->isShown();
    inputs.framingHintsOnBubble = panels_.framingHintsOnBubble;
    inputs.cameraMissing = noCameraDevice();
    inputs.specs = framingSpecs();
    inputs.deskCamera = bubblePanel_->recorder();
    return inputs;
}

bool RecordingController::cameraOnlyTakeOwnsPreview() const
{
    // From the start request on: a voice track's desk camera warms up while the phase is still idle.
    const Take* take = activeTake();
    return takeUnderWay() || (take && take->isRunning());
}

void RecordingController::updateFramingRouting()
{
    routing_->route();
    showFramingOnBubble();
    hooks().updateFramingRouting();
}

void RecordingController::showFramingOnBubble()
{
    bubblePanel_->showFraming(routing_->framing().report(), panels_.framingHintsOnBubble && traits().overlays && routing_->framing().isRunning());
}

std::vector<FramingCropSpec> RecordingController::framingSpecs() const
{
    if (!traits().overlays)
        return {FramingCropSpec::fullFrame()};
    if (look_.screenLayout == ScreenLayout::classic)
        return {FramingCropSpec::shape(bubble_.bubbleShape)};
    const bool dynamic = look_.layoutMode == LayoutMode::dynamic && look_.studioBackground != StudioBackground::darkRoom;
    return FramingCropSpec::studioCrops(look_.faceLayout, look_.studioBackground, dynamic);
}

// MARK: - The framing check window

QCoro::Task<> RecordingController::openFramingCheck()
{
    if (traits().filmsShort) {
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
    if (!traits().cameraOnly && !bubble_.cameraEnabled)
        setCameraEnabled(true);
    if (!framingWindow_ && platform_.windows) {
        framingWindow_ = platform_.windows->makeFramingCheck(routing_->framing());
        FramingCheckDisplay* window = framingWindow_.get();
        // Handled once the close has run its course; a controller that is gone by then hears nothing.
        window->setOnClose([this, window] {
            QMetaObject::invokeMethod(this, [this, window] { framingCheckClosed(window); }, Qt::QueuedConnection);
        });
        window->centreOnScreen();
    }
    if (!framingWindow_)
        co_return;
    framingWindow_->bringForward();
    setFramingWindowOpen(true);
}

void RecordingController::framingCheckClosed(FramingCheckDisplay* window)
{
    // Reopened before this turn came: the window stays.
    if (framingWindow_.get() != window || window->isShown())
        return;
    framingWindow_.reset();
    setFramingWindowOpen(false);
}

void RecordingController::setFramingWindowOpen(bool open)
{
    routing_->setFramingWindowOpen(open);
    updateFramingRouting();
}

void RecordingController::setShortWindowOpen(bool open)
{
    routing_->setShortWindowOpen(open);
    updateFramingRouting();
}

void RecordingController::setShortViewerView(bool fileSide)
{
    routing_->setViewerView(fileSide);
    Q_EMIT changed();
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
