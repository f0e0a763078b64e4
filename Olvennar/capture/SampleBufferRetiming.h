#pragma once

#include "platform/media/MediaSample.h"

#include <optional>

// Rewrites capture time into take time: a copy whose valid presentation and decode times are shifted back
// by the offset; durations stay; the payload is shared.
namespace SampleBufferRetiming {
std::optional<MediaSample> retimed(const MediaSample& sample, const MediaTime& offset);
// A sound block without its first `frames` frames, stamped where what is left begins; nothing when no frame is
// left. `frames` at or below 0 gives the block as it is.
std::optional<MediaSample> withoutLeadingFrames(const MediaSample& block, int64_t frames);
}
