#include "finishing/MixdownOverlayPlacement.h"

#include <algorithm>

namespace Mixdown {
namespace {

const MediaTime heldLead(1, 5); // the held frame is the one 0.2 s into the media
const MediaTime heldSlice(1, 30); // one frame's worth of media must follow it
const MediaTime lateStartFloor(1, 1000);
const MediaTime lateStartCeiling(5, 2);

} // namespace

std::optional<OverlayPlacement> OverlayPlacement::place(const MediaTime& mediaStart, const MediaTime& mediaEnd, const MediaTime& limit)
{
    if (!mediaStart.isNumeric() || !mediaEnd.isNumeric() || !limit.isNumeric())
        return std::nullopt;
    const MediaTime start = std::max(mediaStart, MediaTime::zero());
    const MediaTime room = limit - start;
    if (room <= MediaTime::zero())
        return std::nullopt;
    const MediaTime length = std::min(mediaEnd - start, room);
    if (length <= MediaTime::zero())
        return std::nullopt;
    OverlayPlacement placement {start, start + length, std::nullopt};
    // A span too short to hold the frame 0.2 s in plus one frame after it is shown as it is.
    if (start > lateStartFloor && start <= lateStartCeiling && length > heldLead + heldSlice) {
        placement.heldSourceTime = start + heldLead;
        placement.liveStart = start + heldLead;
    }
    return placement;
}

std::optional<MediaTime> OverlayPlacement::sourceTime(const MediaTime& t) const
{
    if (heldSourceTime && t < liveStart)
        return heldSourceTime;
    if (t >= liveStart && t < liveEnd)
        return t;
    return std::nullopt;
}

} // namespace Mixdown
