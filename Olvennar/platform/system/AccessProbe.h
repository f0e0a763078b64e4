#pragma once

#include "platform/system/Permissions.h"

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
    // Tells the user how to grant the access behind the pane (Linux has no privacy pane to open); the running
    // studio shows a dialog, probes without a window say nothing.
    virtual void showInstruction(const QString& pane) { (void)pane; }
};
