#include "platform/speech/SpeechSampleConverter.h"

#include "platform/media/LibavHandles.h"
#include "platform/speech/SpeechRecognizer.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

void SpeechSampleConverter::SwrFree::operator()(SwrContext* context) const { swr_free(&context); }

bool SpeechSampleConverter::convert(const AudioBlock& block, std::vector<int16_t>& out)
{
    out.clear();
    if (block.sampleRate <= 0 || block.channels <= 0)
        return false;
    if (!swr_ || block.sampleRate != rate_ || block.channels != channels_) {
        swr_.reset();
        Libav::ChannelLayout inLayout(block.channels);
        Libav::ChannelLayout outLayout(1);
        SwrContext* raw = nullptr;
        if (swr_alloc_set_opts2(&raw, outLayout.get(), AV_SAMPLE_FMT_S16, SpeechRecognizer::sampleRate, inLayout.get(), AV_SAMPLE_FMT_FLT, block.sampleRate, 0, nullptr) < 0)
            return false;
        std::unique_ptr<SwrContext, SwrFree> swr(raw);
        if (swr_init(swr.get()) < 0)
            return false;
        swr_ = std::move(swr);
        rate_ = block.sampleRate;
        channels_ = block.channels;
    }
    const int frames = static_cast<int>(block.frameCount());
    const int capacity = swr_get_out_samples(swr_.get(), frames);
    if (capacity <= 0)
        return true;
    out.resize(static_cast<size_t>(capacity));
    uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(out.data())};
    const uint8_t* inPlanes[1] = {reinterpret_cast<const uint8_t*>(block.samples.data())};
    const int written = swr_convert(swr_.get(), outPlanes, capacity, inPlanes, frames);
    if (written < 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(written));
    return true;
}
