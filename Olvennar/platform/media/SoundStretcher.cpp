#include "platform/media/SoundStretcher.h"

#include "platform/system/Diagnostics.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <cmath>

namespace {
// The ratio is applied as a whole number of frames over this many output frames: a resolution of 1 ppm.
constexpr int compensationDistance = 1'000'000;
}

SoundStretcher::SoundStretcher(int sampleRate, int channels) : sampleRate_(sampleRate > 0 ? sampleRate : 48000), channels_(channels > 0 ? channels : 2) {}

bool SoundStretcher::open()
{
    if (swr_ || failed_)
        return static_cast<bool>(swr_);
    Libav::ChannelLayout layout(channels_);
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, layout.get(), AV_SAMPLE_FMT_FLT, sampleRate_, layout.get(), AV_SAMPLE_FMT_FLT, sampleRate_, 0, nullptr);
    Libav::Swr swr(raw);
    if (rc >= 0) {
        // Same rate in and out: compensation needs the resampler on from the start.
        av_opt_set_int(swr.get(), "force_resampling", 1, 0);
        rc = swr_init(swr.get());
    }
    if (rc < 0) {
        failed_ = true;
        Diagnostics::log(QStringLiteral("the sound stretcher could not start (%1); the sound goes on unstretched").arg(rc));
        return false;
    }
    swr_ = std::move(swr);
    return true;
}

std::vector<float> SoundStretcher::stretch(const float* samples, int64_t frames, double ratio)
{
    if (frames <= 0)
        return {};
    if (!open())
        return std::vector<float>(samples, samples + frames * channels_);
    const int delta = static_cast<int>(std::lround((ratio - 1.0) * compensationDistance));
    if (delta != appliedDelta_ || delta != 0) {
        // Renewed on every block, so the distance never runs out between two blocks.
        if (swr_set_compensation(swr_.get(), delta, compensationDistance) >= 0)
            appliedDelta_ = delta;
    }
    const int capacity = swr_get_out_samples(swr_.get(), static_cast<int>(frames)) + 16;
    std::vector<float> out(static_cast<size_t>(capacity) * static_cast<size_t>(channels_));
    uint8_t* outPlanes[] = {reinterpret_cast<uint8_t*>(out.data())};
    const uint8_t* inPlanes[] = {reinterpret_cast<const uint8_t*>(samples)};
    const int converted = swr_convert(swr_.get(), outPlanes, capacity, inPlanes, static_cast<int>(frames));
    out.resize(static_cast<size_t>(std::max(converted, 0)) * static_cast<size_t>(channels_));
    return out;
}

int64_t SoundStretcher::delayFrames() const { return swr_ ? swr_get_delay(swr_.get(), sampleRate_) : 0; }
