#pragma once

#include "takes/TakeControls.h"

class PointerTracker;

// The hot keys' zoom marks stored in a take's pointer log.
class PointerTrackerMarker final : public ZoomMarker {
public:
    explicit PointerTrackerMarker(PointerTracker& tracker) : tracker_(tracker) {}
    void addMark(bool zoomIn) override;
    int markCount() const override;

private:
    PointerTracker& tracker_;
};
