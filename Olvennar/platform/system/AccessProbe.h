#pragma once

#include "core/Permissions.h"

// Which devices and services the user can reach, checked without recording anything.
class AccessProbe {
public:
    virtual ~AccessProbe() = default;
    // The X display opens and offers SHM.
    virtual Permissions::State screen() = 0;
    // The sound server answers.
    virtual Permissions::State microphone() = 0;
    // A /dev/video* node is readable (denied when nodes exist but none is readable, notAsked when none exist).
    virtual Permissions::State camera() = 0;
    // /dev/input/event* readable.
    virtual Permissions::State inputMonitoring() = 0;
    // Speech model files present.
    virtual Permissions::State speech() = 0;
};
