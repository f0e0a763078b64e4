#pragma once

#include "takedata/RecordingPhase.h"

// The phase group the window uses beside filming and busy: a take is running (recording or paused).
// The transport offers Pause, Discard and Stop then, and device choices are locked.
inline bool isTakeRunning(const RecordingPhase& phase)
{
    return phase.kind() == RecordingPhase::Kind::recording || phase.kind() == RecordingPhase::Kind::paused;
}
