#pragma once

#include "platform/x11/WindowInfo.h"

#include <QRect>

#include <vector>

// How to hide excluded windows in a grabbed frame: each excluded window's visible area is cleared and then
// recomposed from every kept window that overlaps it, bottom of the stack first. Kept windows above an
// excluded one are repainted too, so they stay on top. Rectangles are in root pixels.
struct ExclusionPlan {
    struct Patch {
        size_t windowIndex; // into the stacking list
        QRect area;
    };
    struct Region {
        QRect area; // cleared before its patches are painted
        std::vector<Patch> patches;
    };
    std::vector<Region> regions;

    bool isEmpty() const { return regions.empty(); }

    // `windows` bottom first; `excluded[i]` tells whether windows[i] is hidden; `bounds` is the grabbed rectangle.
    static ExclusionPlan make(const std::vector<WindowInfo>& windows, const std::vector<bool>& excluded, const QRect& bounds);
};
