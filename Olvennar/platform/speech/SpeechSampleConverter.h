#pragma once

#include "platform/media/MediaSample.h"

#include <cstdint>
#include <memory>
#include <vector>

struct SwrContext;

// Turns interleaved float blocks of any rate and channel count into the recogniser's 16 kHz mono signed
// 16-bit samples. One stream at a time: a block of another format starts a fresh resampler.
class SpeechSampleConverter {
public:
    // Replaces `out` with the converted samples (keeping its capacity); false when the block cannot be read.
    bool convert(const AudioBlock& block, std::vector<int16_t>& out);

private:
    struct SwrFree {
        void operator()(SwrContext* context) const;
    };
    std::unique_ptr<SwrContext, SwrFree> swr_;
    int rate_ = 0;
    int channels_ = 0;
};
