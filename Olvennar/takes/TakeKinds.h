#pragma once

#include "takedata/CaptureMode.h"
#include "takes/TakeStart.h"

#include <functional>
#include <memory>
#include <vector>

class CameraOnlyPreview;
class Take;
class TakeHost;
class TakeServices;

// What a take is made with: the studio it reports to, the machine's services (none: no take can record)
// and the camera-only recorder's preview (none: no camera-only recorder).
struct TakeKit {
    TakeHost& host;
    TakeServices* services = nullptr;
    CameraOnlyPreview* preview = nullptr;
};

// One kind of take: the capture mode that records with it, what it records and can do, and how one is made.
struct TakeKind {
    CaptureMode mode = CaptureMode::screen;
    TakeTraits traits;
    std::function<std::unique_ptr<Take>(const TakeKit& kit)> make;
};

// The table of take kinds the studio runs, one row per capture mode that records; the composition root
// builds it. A mode without a row cannot start.
struct TakeKinds {
    std::vector<TakeKind> rows;

    const TakeKind* find(CaptureMode mode) const
    {
        for (const TakeKind& row : rows)
            if (row.mode == mode)
                return &row;
        return nullptr;
    }
    // The first kind with this trait.
    const TakeKind* with(bool TakeTraits::*trait) const
    {
        for (const TakeKind& row : rows)
            if (row.traits.*trait)
                return &row;
        return nullptr;
    }
    // What the mode's take records and can do; nothing for a mode without a row.
    TakeTraits traits(CaptureMode mode) const
    {
        const TakeKind* row = find(mode);
        return row ? row->traits : TakeTraits{.pause = false};
    }
};
