#pragma once

#include "framing/StudioWindows.h"

// The studio's windows on the desktop: the countdown window and the "Check framing" window with the framing
// assistant in it.
class DesktopWindows final : public StudioWindows {
public:
    // The one maker the app and its tests hand to a studio.
    static StudioWindows& shared();

    std::unique_ptr<CountdownDisplay> makeCountdown() override;
    std::unique_ptr<FramingCheckDisplay> makeFramingCheck(FramingMonitor& monitor) override;
    std::unique_ptr<CameraPanel> makePanel(QWidget* preview, QSizeF size, double cornerRadius) override;
};
