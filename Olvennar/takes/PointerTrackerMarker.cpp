#include "takes/PointerTrackerMarker.h"

#include "capture/PointerTracker.h"

void PointerTrackerMarker::addMark(bool zoomIn) { tracker_.addMark(zoomIn); }
int PointerTrackerMarker::markCount() const { return static_cast<int>(tracker_.markCount()); }
