#pragma once

#include "platform/x11/ScreenDisplay.h"

#include <vector>

class XcbConnection;

// RandR monitors of the connection's screen; the whole root window as one display when RandR gives none.
namespace X11Displays {
std::vector<ScreenDisplay> list(XcbConnection& connection);
}
