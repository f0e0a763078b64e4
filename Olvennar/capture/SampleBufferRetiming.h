#pragma once

#include "platform/media/MediaSample.h"

#include <optional>

// Rewrites capture time into take time: a copy whose valid presentation and decode times are shifted back
// by the offset; durations stay; the payload is shared.
namespace SampleBufferRetiming {
std::optional<MediaSample> retimed(const MediaSample& sample, const MediaTime& offset);
}
