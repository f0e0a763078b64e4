#include "platform/media/X265Threading.h"

#include <algorithm>

namespace {

// x265's largest pool; more workers than that would sit idle behind the rows anyway.
constexpr int mostPoolThreads = 64;
// Past four frames in flight a frame only waits on its reference's rows (and a kill loses more of them).
constexpr int mostFrameThreads = 4;

} // namespace

X265Threading X265Threading::forTake(int cores, int height, bool poolKeepsPriority)
{
    cores = std::max(cores, 1);
    const int rows = std::max((height + blockPixels - 1) / blockPixels, 1);
    if (cores < 2 || !poolKeepsPriority)
        return {0, std::clamp(cores, 2, mostFrameThreads)};
    // A frame starts a few rows behind the one it refers to: a short picture has room for fewer in flight.
    return {std::min(cores, mostPoolThreads), std::clamp(rows / 2, 1, mostFrameThreads)};
}

std::string X265Threading::params() const
{
    const std::string pools = poolThreads > 0 ? std::to_string(poolThreads) : std::string("none");
    return "pools=" + pools + ":frame-threads=" + std::to_string(frameThreads);
}
