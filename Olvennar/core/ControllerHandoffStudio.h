#pragma once

#include "core/HandoffWatch.h"

class RecordingController;

// The studio as the handoff watch sees it, read from and changed through the controller's own names.
// Main thread only.
class ControllerHandoffStudio final : public HandoffWatch::Studio {
public:
    explicit ControllerHandoffStudio(RecordingController& controller) : controller_(controller) {}

    bool takeUnderWay() const override;
    bool busy() const override;
    CaptureMode captureMode() const override;
    void setCaptureMode(CaptureMode mode) override;
    RecordingChannel channel() const override;
    void setDestinationFolder(const std::optional<QString>& folder) override;
    std::optional<QRect> prompterScreen() const override;
    void setTeleprompterVisible(bool visible) override;

private:
    RecordingController& controller_;
};
