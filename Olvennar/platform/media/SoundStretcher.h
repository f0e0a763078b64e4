#pragma once

#include "platform/media/LibavHandles.h"

#include <cstdint>
#include <vector>

// Stretches interleaved float sound by a ratio a hair away from 1 (output frames per input frame), through
// swresample's soft compensation, so a sound card's clock can follow the host's without a step. The tone's
// phase runs on smoothly through every change of ratio. One thread at a time.
class SoundStretcher {
public:
    SoundStretcher(int sampleRate, int channels);

    // The block's `frames` frames stretched by `ratio`; empty when swresample refused (logged once).
    std::vector<float> stretch(const float* samples, int64_t frames, double ratio);
    // Frames taken in and not given out yet (the filter's length), at the input rate.
    int64_t delayFrames() const;

private:
    bool open();

    int sampleRate_;
    int channels_;
    Libav::Swr swr_;
    bool failed_ = false;
    int appliedDelta_ = 0;
};
