#include "core/ControllerHandoffStudio.h"

#include "core/RecordingController.h"

bool ControllerHandoffStudio::takeUnderWay() const { return controller_.takeUnderWay(); }
bool ControllerHandoffStudio::busy() const { return controller_.phase().isBusy(); }
CaptureMode ControllerHandoffStudio::captureMode() const { return controller_.captureMode(); }
void ControllerHandoffStudio::setCaptureMode(CaptureMode mode) { controller_.setCaptureMode(mode); }
RecordingChannel ControllerHandoffStudio::channel() const { return controller_.channel(); }
void ControllerHandoffStudio::setDestinationFolder(const std::optional<QString>& folder) { controller_.setDestinationFolder(folder); }
void ControllerHandoffStudio::setTeleprompterVisible(bool visible) { controller_.setTeleprompterVisible(visible); }

std::optional<QRect> ControllerHandoffStudio::prompterScreen() const
{
    const auto screen = controller_.selectedScreen();
    return screen ? std::optional<QRect>(screen->display.frame) : std::nullopt;
}
