#pragma once

#include "platform/x11/ScreenDisplay.h"
#include "takes/ScreenStopPlan.h"
#include "takes/TakeHost.h"
#include "takes/TakeLook.h"

#include <QSizeF>
#include <QString>

#include <optional>

struct SaveJobHandover;

// The studio's settings a screen take starts with.
struct ScreenTakeSettings {
    // Nothing when no listed display is picked.
    std::optional<ScreenDisplay> display;
    // The desktop's height, for turning top-left screen frames into bottom-left desktop coordinates.
    int rootHeight = 0;
    bool captureMicrophone = true;
    bool captureSystemAudio = true;
    std::optional<QString> microphoneID;
    std::optional<int> targetHeight;
    bool cameraEnabled = false;
    bool phoneEnabled = false;
};

// What a screen take reaches beyond every take's host: its settings, the floating panels, and the finish
// queue that takes the stopped take over.
class ScreenTakeHost : public TakeHost {
public:
    virtual ScreenTakeSettings screenTakeSettings() const = 0;
    virtual const TakeLook& look() const = 0;
    // Where the panels stand now, scaled to a screen movie of renderSize pixels.
    virtual OverlayPanels measurePanels(QSizeF renderSize) const = 0;
    virtual void applyBubbleLayout(bool reanchor) = 0;
    virtual void setZoomMarkCount(int count) = 0;
    virtual void setLastFinalURL(const std::optional<QString>& path) = 0;
    virtual void setDestinationFolder(const std::optional<QString>& folder) = 0;
    // Lists the take's row and queues its save; returns at once.
    virtual void handOver(const SaveJobHandover& job) = 0;
};
