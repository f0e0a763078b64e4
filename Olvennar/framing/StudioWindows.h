#pragma once

#include <QSizeF>

#include <memory>

class CountdownDisplay;
class CameraPanel;
class QWidget;
class FramingCheckDisplay;
class FramingMonitor;

// Makes the windows the studio opens; the window classes stand behind the interfaces and the app hands the
// maker in. Main thread only.
class StudioWindows {
public:
    virtual ~StudioWindows() = default;
    virtual std::unique_ptr<CountdownDisplay> makeCountdown() = 0;
    // The "Check framing" window over the desk camera's monitor.
    virtual std::unique_ptr<FramingCheckDisplay> makeFramingCheck(FramingMonitor& monitor) = 0;
    // A floating panel showing `preview` (which it takes over; may be none).
    virtual std::unique_ptr<CameraPanel> makePanel(QWidget* preview, QSizeF size, double cornerRadius) = 0;
};
