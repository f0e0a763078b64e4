#include "platform/audio/AudioTimestamper.h"

#include <cstdlib>

AudioTimestamper::AudioTimestamper(int sampleRate, int64_t resyncNanoseconds, int correctionDivisor)
    : sampleRate_(sampleRate > 0 ? sampleRate : 48000), resyncNanoseconds_(resyncNanoseconds), correctionDivisor_(correctionDivisor > 0 ? correctionDivisor : 1)
{
}

int64_t AudioTimestamper::stamp(int64_t nowNanoseconds, int64_t latencyNanoseconds, int64_t frames)
{
    const int64_t scaled = frames * 1'000'000'000 + remainder_;
    const int64_t duration = scaled / sampleRate_;
    const int64_t measured = nowNanoseconds - latencyNanoseconds - frames * 1'000'000'000 / sampleRate_;
    int64_t start = measured;
    if (hasNext_) {
        const int64_t difference = measured - next_;
        start = std::llabs(difference) > resyncNanoseconds_ ? measured : next_ + difference / correctionDivisor_;
    }
    remainder_ = scaled % sampleRate_;
    next_ = start + duration;
    hasNext_ = true;
    return start;
}
