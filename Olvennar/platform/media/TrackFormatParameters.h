#pragma once

#include "platform/media/LibavHandles.h"
#include "platform/media/TrackFormat.h"

#include <array>
#include <optional>

// Internal body of TrackFormat.
struct TrackFormat::Parameters {
    Libav::CodecParameters codec;
    AVRational timeBase {1, 90000};
    std::optional<std::array<int32_t, 9>> displayMatrix;

    static TrackFormat fromStream(const AVStream* stream);
};
