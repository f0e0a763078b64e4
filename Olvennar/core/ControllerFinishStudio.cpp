#include "core/ControllerFinishStudio.h"

#include "core/RecordingController.h"

const RecordingPhase& ControllerFinishStudio::phase() const { return controller_.phase(); }
void ControllerFinishStudio::setPhase(const RecordingPhase& phase) { controller_.setPhase(phase); }
void ControllerFinishStudio::reset() { controller_.reset(); }
void ControllerFinishStudio::setLastFinalURL(const std::optional<QString>& path) { controller_.setLastFinalURL(path); }
void ControllerFinishStudio::setFinishWaitingForBreak(bool waiting) { controller_.setFinishWaitingForBreak(waiting); }
FinishQueue& ControllerFinishStudio::finishQueue() { return controller_.finishQueue(); }

double ControllerFinishStudio::lastTakeEndedSeconds() const
{
    return static_cast<double>(controller_.lastTakeEndedAt().toMSecsSinceEpoch()) / 1000.0;
}
