#include "core/ControllerTakeStudio.h"

#include "core/RecordingController.h"

#include <algorithm>

const RecordingPhase& ControllerTakeStudio::phase() const { return controller_.phase(); }
void ControllerTakeStudio::setPhase(const RecordingPhase& phase) { controller_.setPhase(phase); }
void ControllerTakeStudio::reset() { controller_.reset(); }
void ControllerTakeStudio::setElapsed(double seconds) { controller_.setElapsed(seconds); }
void ControllerTakeStudio::setZoomMarkCount(int count) { controller_.setZoomMarkCount(count); }
CaptureMode ControllerTakeStudio::captureMode() const { return controller_.captureMode(); }
RecordingChannel ControllerTakeStudio::channel() const { return controller_.channel(); }
HandoffWatch& ControllerTakeStudio::handoffs() { return controller_.handoffs(); }
void ControllerTakeStudio::refreshPermissions() { controller_.refreshPermissions(); }
void ControllerTakeStudio::refreshDevices() { controller_.refreshDevices(); }
void ControllerTakeStudio::refreshDisplays() { controller_.refreshDisplays(); }
bool ControllerTakeStudio::noCameraDevice() const { return controller_.noCameraDevice(); }
int ControllerTakeStudio::countdownSeconds() const { return controller_.countdownSeconds(); }
const std::optional<QString>& ControllerTakeStudio::destinationFolder() const { return controller_.destinationFolder(); }
void ControllerTakeStudio::setDestinationFolder(const std::optional<QString>& folder) { controller_.setDestinationFolder(folder); }
void ControllerTakeStudio::refreshDestinationName() { controller_.refreshDestinationName(); }
void ControllerTakeStudio::setShortTakeChannel(RecordingChannel channel) { controller_.setShortTakeChannel(channel); }
void ControllerTakeStudio::setLastFinalURL(const std::optional<QString>& path) { controller_.setLastFinalURL(path); }
void ControllerTakeStudio::setLastShortURL(const std::optional<QString>& path) { controller_.setLastShortURL(path); }
void ControllerTakeStudio::showFinishedTake(const QString& path, const QString& note) { controller_.finish_->showFinishedTake(path, note); }
void ControllerTakeStudio::inform(const QString& sentence) { controller_.inform(sentence); }
void ControllerTakeStudio::playSound(const QString& name) { controller_.playSound(name); }
void ControllerTakeStudio::alarmTakeFailed() { controller_.alarmTakeFailed(); }
const TakeLook& ControllerTakeStudio::look() const { return controller_.look(); }
FinishQueue& ControllerTakeStudio::finishQueue() { return controller_.finishQueue(); }

QStringList ControllerTakeStudio::takesUnderWay(const QString& folder) const { return controller_.finishQueue().takesUnderWay(folder); }
const CameraPanel* ControllerTakeStudio::bubbleWindow() const { return controller_.bubblePanel().window(); }
const CameraPanel* ControllerTakeStudio::phoneWindow() const { return controller_.phone().window(); }
BubbleShape ControllerTakeStudio::bubbleShape() const { return controller_.bubbleShape(); }
double ControllerTakeStudio::bubbleTilt() const { return controller_.bubbleTilt(); }
double ControllerTakeStudio::bubbleSize() const { return controller_.bubbleSize(); }
bool ControllerTakeStudio::phoneShowsFrame() const { return controller_.phone().phoneShowsFrame(); }
void ControllerTakeStudio::applyBubbleLayout(bool reanchor) { controller_.applyBubbleLayout(reanchor); }
void ControllerTakeStudio::settleOverlayWindows() { controller_.settleOverlayWindows(); }

std::optional<QRect> ControllerTakeStudio::screenFrame() const
{
    const auto screen = controller_.selectedScreen();
    return screen ? std::optional<QRect>(screen->display.frame) : std::nullopt;
}

TakeStart ControllerTakeStudio::settings() const
{
    const RecordingController& c = controller_;
    TakeStart settings;
    const auto screen = c.selectedScreen();
    if (c.selectedDisplayListed() && screen && screen->display.id == *c.selectedDisplayID())
        settings.display = screen->display;
    for (const ScreenDisplay& display : c.screenDisplays())
        settings.rootHeight = std::max(settings.rootHeight, display.frame.y() + display.frame.height());
    settings.captureMicrophone = c.captureMicrophone();
    settings.captureSystemAudio = c.captureSystemAudio();
    settings.targetHeight = ScreenQualities::heightCap(c.quality());
    settings.cameraEnabled = c.cameraEnabled();
    settings.phoneEnabled = c.phone().phoneEnabled();
    settings.cameras = c.cameras();
    settings.selectedCameraID = c.selectedCameraID();
    settings.microphones = c.microphones();
    settings.selectedMicrophoneID = c.selectedMicrophoneID();
    settings.mirrorCamera = c.mirrorCamera();
    settings.shortPosition = {c.shortPosition().x, c.shortPosition().y};
    settings.look = c.look();
    settings.channel = c.channel();
    settings.countdownFrame = c.countdownFrame();
    return settings;
}
