#include "capture/SampleBufferRetiming.h"

namespace SampleBufferRetiming {

std::optional<MediaSample> retimed(const MediaSample& sample, const MediaTime& offset)
{
    if (sample.timing.empty() || !offset.isNumeric())
        return std::nullopt;
    MediaSample copy = sample;
    for (SampleTiming& entry : copy.timing) {
        if (entry.presentationTime.isValid())
            entry.presentationTime = entry.presentationTime - offset;
        if (entry.decodeTime.isValid())
            entry.decodeTime = entry.decodeTime - offset;
    }
    return copy;
}

std::optional<MediaSample> withoutLeadingFrames(const MediaSample& block, int64_t frames)
{
    if (!block.audio || frames <= 0)
        return block;
    const AudioBlock& audio = *block.audio;
    if (frames >= audio.frameCount())
        return std::nullopt;
    auto tail = std::make_shared<AudioBlock>();
    tail->sampleRate = audio.sampleRate;
    tail->channels = audio.channels;
    tail->samples.assign(audio.samples.begin() + frames * audio.channels, audio.samples.end());
    return MediaSample::sound(std::move(tail), block.presentationTime() + MediaTime(frames, audio.sampleRate));
}

} // namespace SampleBufferRetiming
