#pragma once

#include <cstdint>

// Host-clock time of each captured sound block. The first block is placed where it was measured
// (now − latency − block duration); every later block starts where the previous one ended, by sample
// count, so scheduling jitter never reaches the file. The timeline changes only when the server reports
// a hole, after it dropped sound (an overflow), or when the earliest measurement over a second of sound
// stays more than `driftBoundNanoseconds` away from the count twice in a row (the sound card's clock
// drifting from the host's). Each change is reported by `lastRealignment` for the log.
class AudioTimestamper {
public:
    explicit AudioTimestamper(int sampleRate, int64_t driftBoundNanoseconds = 30'000'000);

    // Stamp (nanoseconds) of a block of `frames` frames read at `nowNanoseconds` with `latencyNanoseconds`
    // between the block's end and now.
    int64_t stamp(int64_t nowNanoseconds, int64_t latencyNanoseconds, int64_t frames);
    // A hole of `frames` the server reported: the timeline steps over it.
    void skip(int64_t frames);
    // The server lost sound it could not deliver: the next block starts where it is measured.
    void resynchronize() { hasNext_ = false; }
    // How far (nanoseconds, positive: later) the last stamp moved the timeline off the sample count; 0 when
    // it continued the previous block.
    int64_t lastRealignment() const { return lastRealignment_; }

private:
    int64_t durationOf(int64_t frames);

    int sampleRate_;
    int64_t driftBound_;
    bool hasNext_ = false;
    bool started_ = false;
    int64_t next_ = 0;
    int64_t remainder_ = 0; // sub-nanosecond frames carried so the stamps never drift by rounding
    int64_t lastRealignment_ = 0;
    // Scheduling only ever delays a reading, so the earliest difference of a window is the truest one.
    int64_t windowFrames_ = 0;
    int64_t windowEarliest_ = 0;
    int64_t previousWindowEarliest_ = 0;
};
