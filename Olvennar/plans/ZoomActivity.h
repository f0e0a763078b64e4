#pragma once

#include "takedata/Click.h"
#include "takedata/PointerPath.h"
#include "takedata/ZoomMode.h"

#include <optional>
#include <vector>

// What happened during a take, as the zoom planners read it.
struct ZoomActivity {
    std::vector<Click> clicks;
    std::vector<double> keys; // key-press times; empty when none were logged
    std::optional<PointerPath> pointer;
    std::vector<ZoomMark> marks; // in the order logged
};
