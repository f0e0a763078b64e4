#pragma once

#include "platform/system/MediaTime.h"

#include <cstdint>
#include <functional>

// CLOCK_MONOTONIC: the one time base of every captured sample (screen frames at grab, V4L2 buffers,
// PulseAudio blocks). Tests swap the source for a manual clock through setSourceForTesting.
class HostClock {
public:
    static int64_t nowNanoseconds();
    static MediaTime now() { return MediaTime::fromNanoseconds(nowNanoseconds()); }
    static double nowSeconds() { return static_cast<double>(nowNanoseconds()) / 1e9; }

    // Empty function restores the real clock.
    static void setSourceForTesting(std::function<int64_t()> source);
};
