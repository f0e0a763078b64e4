#pragma once

#include "platform/x11/WindowInfo.h"

#include <vector>

class XcbConnection;

// The viewable top-level windows of the root window, bottom of the stack first. Under a window manager the
// top-level is the frame; its identity is read from the client window inside it (the one with WM_STATE).
namespace X11WindowList {
std::vector<WindowInfo> stackingOrder(XcbConnection& connection);
}
