#pragma once

#include "finishing/FinishDisplay.h"

class RecordingController;

// The studio as the finish display sees it, read from and changed through the controller. Main thread only.
class ControllerFinishStudio final : public FinishDisplay::Studio {
public:
    explicit ControllerFinishStudio(RecordingController& controller) : controller_(controller) {}

    const RecordingPhase& phase() const override;
    void setPhase(const RecordingPhase& phase) override;
    void reset() override;
    void setLastFinalURL(const std::optional<QString>& path) override;
    double lastTakeEndedSeconds() const override;
    void setFinishWaitingForBreak(bool waiting) override;
    FinishQueue& finishQueue() override;

private:
    RecordingController& controller_;
};
