#pragma once

#include "platform/media/MediaSample.h"

#include <optional>

// A reader output: hands out the samples of one track in order.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    // The next sample, or nothing at the end of the data (or after a read error the reader reports itself).
    virtual std::optional<MediaSample> copyNextSample() = 0;
};
