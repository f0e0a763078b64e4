#pragma once

#include "finishing/FinishJob.h"
#include "finishing/EnhanceQueue.h"
#include "ui/JobRow.h"

// The rows of the finish and enhancement lists, from the jobs' states.
namespace QueueRows {

// The progress fraction as a whole percent, truncated toward zero (0.426 shows 42); 0 for NaN.
int percentage(double fraction);

// A working row says how long the queue waits for a recording break before it renders; a failed row offers
// Retry only when there is one to run.
JobRow finish(const FinishJob& job, bool waitingForBreak, bool retryable = true);
JobRow enhance(const EnhanceQueue::EnhanceJob& job);

} // namespace QueueRows
