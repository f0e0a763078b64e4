#include "core/RecordingController.h"

// The take flows replace these: until they exist a take cannot start.
QCoro::Task<> RecordingController::start() { co_return; }
QCoro::Task<> RecordingController::stop() { co_return; }
QCoro::Task<> RecordingController::discard() { co_return; }
void RecordingController::togglePause() { }
