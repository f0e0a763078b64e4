#pragma once

#include "takedata/CaptureMode.h"

#include <QString>

#include <optional>

// Why Record cannot start a take in a mode, as the sentence the status line shows; nothing when it can.
// A refused start is never silent.
namespace StartRefusal {

struct Situation {
    CaptureMode mode = CaptureMode::screen;
    bool takeBuilt = false; // the mode has a take that records
    bool hasCamera = false; // a camera is listed
    bool hasMicrophone = false; // a microphone is listed
};

std::optional<QString> reason(const Situation& situation);

} // namespace StartRefusal
