#include "app/DesktopWindows.h"

#include "views/framing/CameraBubbleWindow.h"
#include "views/framing/CountdownWindow.h"
#include "views/framing/FramingAssistantView.h"
#include "views/framing/FramingWindow.h"

StudioWindows& DesktopWindows::shared()
{
    static DesktopWindows windows;
    return windows;
}

std::unique_ptr<CountdownDisplay> DesktopWindows::makeCountdown() { return std::make_unique<CountdownWindow>(); }

std::unique_ptr<FramingCheckDisplay> DesktopWindows::makeFramingCheck(FramingMonitor& monitor)
{
    return std::make_unique<FramingWindow>(new FramingAssistantView(monitor));
}

std::unique_ptr<CameraPanel> DesktopWindows::makePanel(QWidget* preview, QSizeF size, double cornerRadius)
{
    return std::make_unique<CameraBubbleWindow>(preview, size, cornerRadius);
}
