#pragma once

#include <cstdint>

// Host-clock time of each captured sound block. A block's measured start is
// now − latency − block duration; the stamps then advance by sample count, pulled toward the measurement by
// a small fraction of the difference per block, so scheduling jitter never reaches the file and a slow
// drift between the sound card and the host clock is followed. A jump larger than `resyncNanoseconds`
// (a gap, an overrun) restarts from the measurement.
class AudioTimestamper {
public:
    explicit AudioTimestamper(int sampleRate, int64_t resyncNanoseconds = 40'000'000, int correctionDivisor = 64);

    // Stamp (nanoseconds) of a block of `frames` frames read at `nowNanoseconds` with `latencyNanoseconds`
    // between the block's end and now (negative when the block's end lies ahead, as for a monitor).
    int64_t stamp(int64_t nowNanoseconds, int64_t latencyNanoseconds, int64_t frames);
    void reset() { hasNext_ = false; }

private:
    int sampleRate_;
    int64_t resyncNanoseconds_;
    int correctionDivisor_;
    bool hasNext_ = false;
    int64_t next_ = 0;
    int64_t remainder_ = 0; // sub-nanosecond frames carried so the stamps never drift by rounding
};
