#include "capture/SampleBufferRetiming.h"

namespace SampleBufferRetiming {

std::optional<MediaSample> retimed(const MediaSample& sample, const MediaTime& offset)
{
    if (sample.timing.empty() || !offset.isNumeric())
        return std::nullopt;
    MediaSample copy = sample;
    for (SampleTiming& entry : copy.timing) {
        if (entry.presentationTime.isValid())
            entry.presentationTime = entry.presentationTime - offset;
        if (entry.decodeTime.isValid())
            entry.decodeTime = entry.decodeTime - offset;
    }
    return copy;
}

} // namespace SampleBufferRetiming
