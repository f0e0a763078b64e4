#include "platform/audio/AudioTimestamper.h"

#include <algorithm>
#include <cstdlib>

AudioTimestamper::AudioTimestamper(int sampleRate, int64_t driftBoundNanoseconds)
    : sampleRate_(sampleRate > 0 ? sampleRate : 48000), driftBound_(driftBoundNanoseconds)
{
}

int64_t AudioTimestamper::durationOf(int64_t frames)
{
    const int64_t scaled = frames * 1'000'000'000 + remainder_;
    remainder_ = scaled % sampleRate_;
    return scaled / sampleRate_;
}

int64_t AudioTimestamper::stamp(int64_t nowNanoseconds, int64_t latencyNanoseconds, int64_t frames)
{
    const int64_t measured = nowNanoseconds - latencyNanoseconds - frames * 1'000'000'000 / sampleRate_;
    lastRealignment_ = 0;
    int64_t start = measured;
    if (hasNext_) {
        start = next_;
        const int64_t difference = measured - next_;
        windowEarliest_ = windowFrames_ == 0 ? difference : std::min(windowEarliest_, difference);
        windowFrames_ += frames;
        if (windowFrames_ >= sampleRate_) {
            const bool outside = std::llabs(windowEarliest_) > driftBound_ && std::llabs(previousWindowEarliest_) > driftBound_
                && (windowEarliest_ > 0) == (previousWindowEarliest_ > 0);
            if (outside) {
                lastRealignment_ = windowEarliest_ > 0 ? std::min(windowEarliest_, previousWindowEarliest_) : std::max(windowEarliest_, previousWindowEarliest_);
                start += lastRealignment_;
                previousWindowEarliest_ = 0;
            } else {
                previousWindowEarliest_ = windowEarliest_;
            }
            windowFrames_ = 0;
        }
    } else {
        if (started_)
            lastRealignment_ = measured - next_;
        windowFrames_ = 0;
        previousWindowEarliest_ = 0;
        remainder_ = 0;
    }
    next_ = start + durationOf(frames);
    hasNext_ = started_ = true;
    return start;
}

void AudioTimestamper::skip(int64_t frames)
{
    if (hasNext_)
        next_ += durationOf(frames);
}
