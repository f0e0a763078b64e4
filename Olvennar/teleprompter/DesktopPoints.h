#pragma once

#include "teleprompter/PrompterPlacement.h"

class QScreen;

// The bridge between Qt's screens (top-left origin, y down) and the teleprompter's desktop points (origin at
// the primary screen's bottom-left, y up).
namespace DesktopPoints {

// The y of the primary screen's bottom edge in window-system coordinates; 0 without a screen.
double primaryHeight();
// A screen's frame and visible area in desktop points.
PrompterPlacement::Screen screen(const QScreen& screen);

} // namespace DesktopPoints
