#pragma once

#include <string>

// How a take's x265 encoder spreads its work over the cores. A pool of workers encodes a frame's block rows
// as a wavefront and a few frames go side by side, each starting as soon as the rows it refers to are done:
// on a screen picture, whose changes gather in a few rows, frames side by side alone keep less than two
// cores busy. Without a pool that keeps its opener's priority (EncoderThreadPriority), frames side by side
// on threads of the opener's priority are what is left.
struct X265Threading {
    // The block size a take's encoder uses, which sets the height of the rows the pool works on.
    static constexpr int blockPixels = 64;

    int poolThreads = 0; // 0: no pool, and so no wavefront
    int frameThreads = 1;

    // For `cores` this process may use and a picture `height` pixels high.
    static X265Threading forTake(int cores, int height, bool poolKeepsPriority);
    // As x265-params: "pools=8:frame-threads=4", or "pools=none:frame-threads=3".
    std::string params() const;

    bool operator==(const X265Threading&) const = default;
};
