#pragma once

#include "platform/x11/ScreenDisplay.h"

#include <QRect>

// The screen a take records and the panels stand on, in desktop coordinates (origin top-left), with the part
// not covered by panels and docks.
struct ScreenPlace {
    ScreenDisplay display;
    QRect visibleFrame;
};
