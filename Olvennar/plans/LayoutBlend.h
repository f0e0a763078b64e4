#pragma once

#include "takedata/StudioLook.h"

// The layout of one frame: t is the eased progress from `from` to `to` (1 = fully `to`).
struct LayoutBlend {
    LayoutState from = LayoutState::screen;
    LayoutState to = LayoutState::screen;
    double t = 1;
    friend bool operator==(const LayoutBlend&, const LayoutBlend&) = default;
};
