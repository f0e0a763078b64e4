#pragma once

#include "teleprompter/TeleprompterStepper.h"

// What the hot keys and the remote button reach besides the take operations: the pointer tracker's zoom
// marks and the teleprompter. Supplied by their owners; absent services do nothing.
class ZoomMarker {
public:
    virtual ~ZoomMarker() = default;
    // Stores a mark at the pointer's position and take time when it can.
    virtual void addMark(bool zoomIn) = 0;
    virtual int markCount() const = 0;
};

