#pragma once

#include "platform/system/MediaTime.h"

#include <optional>

namespace Mixdown {

// Where a camera or iPhone recording shows on the take's timeline. Its media keeps its own times; a short
// late start is covered by holding the frame from 0.2 s into the media from the start of the take; nothing
// runs past the screen recording.
struct OverlayPlacement {
    MediaTime liveStart; // from here on the recording shows its own frame at each take time
    MediaTime liveEnd;
    std::optional<MediaTime> heldSourceTime; // shown still from 0 until liveStart

    // `mediaStart` is where the media really begins (after an empty edit), `mediaEnd` where it ends, `limit`
    // the screen recording's duration. Nothing when no media falls before the limit.
    static std::optional<OverlayPlacement> place(const MediaTime& mediaStart, const MediaTime& mediaEnd, const MediaTime& limit);

    // The media time whose frame shows at take time `t`, or nothing when the recording shows nothing there.
    // Non-decreasing in `t`, so one forward pass over the decoded frames serves every output frame.
    std::optional<MediaTime> sourceTime(const MediaTime& t) const;
};

} // namespace Mixdown
