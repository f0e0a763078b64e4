#pragma once

#include "platform/video/CameraHub.h"

#include <QSize>

#include <optional>
#include <vector>

// The camera format a short is filmed in: the tallest, then widest, landscape or square format no wider than
// 1920 that runs at 30 fps, first in the device's order on a tie.
namespace ShortFraming {

// A format that can be held at 30 fps: its top rate reaches 29.5 and its slowest range starts at 30.5 or below.
bool runsAtThirty(const CameraHub::Format& format);

// Index of the chosen format; nothing when none qualifies. `maxHeight` caps the height when given.
std::optional<size_t> selectFormat(const std::vector<CameraHub::Format>& formats, std::optional<int> maxHeight);

// Chooses and applies it at a fixed 1/30 s frame duration; the active size, or nothing when no format
// qualifies or the device refuses (busy), which leaves it as it was.
std::optional<QSize> selectFormat(CameraHub& device, std::optional<int> maxHeight);

} // namespace ShortFraming
