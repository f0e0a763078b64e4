#include "platform/media/AudioMix.h"

#include <algorithm>
#include <cmath>
#include <limits>

AudioMix::AudioMix(MovieReader& reader, const std::vector<int>& trackIndices, const AudioOutputSettings& settings)
    : settings_(settings)
{
    for (int index : trackIndices) {
        if (MovieReaderOutput* output = reader.addAudioOutput(index, settings_))
            tracks_.push_back(Track {output, {}, -1, false});
    }
}

bool AudioMix::fill(Track& track, int64_t untilPosition)
{
    const size_t channels = static_cast<size_t>(settings_.channels);
    while (!track.ended && (track.firstPosition < 0 || track.firstPosition + static_cast<int64_t>(track.samples.size() / channels) < untilPosition)) {
        std::optional<MediaSample> sample = track.output->copyNextSample();
        if (!sample || !sample->audio) {
            track.ended = true;
            break;
        }
        const int64_t position = std::llround(sample->presentationTime().seconds() * settings_.sampleRate);
        const std::vector<float>& incoming = sample->audio->samples;
        if (track.firstPosition < 0)
            track.firstPosition = position;
        const int64_t end = track.firstPosition + static_cast<int64_t>(track.samples.size() / channels);
        if (position > end) {
            track.samples.insert(track.samples.end(), static_cast<size_t>(position - end) * channels, 0.0f);
        }
        const size_t skip = position < end ? std::min(static_cast<size_t>(end - position) * channels, incoming.size()) : 0;
        track.samples.insert(track.samples.end(), incoming.begin() + static_cast<std::ptrdiff_t>(skip), incoming.end());
    }
    return track.firstPosition >= 0 && !track.samples.empty();
}

std::optional<MediaSample> AudioMix::copyNextSample()
{
    const size_t channels = static_cast<size_t>(settings_.channels);
    if (position_ < 0) {
        // The mix starts where the earliest track does.
        int64_t first = std::numeric_limits<int64_t>::max();
        for (Track& track : tracks_) {
            if (fill(track, 0))
                first = std::min(first, track.firstPosition);
        }
        if (first == std::numeric_limits<int64_t>::max())
            return std::nullopt;
        position_ = first;
    }
    const int64_t until = position_ + blockFrames;
    int64_t produced = 0;
    for (Track& track : tracks_) {
        if (fill(track, until))
            produced = std::max(produced, std::min<int64_t>(until, track.firstPosition + static_cast<int64_t>(track.samples.size() / channels)) - position_);
        else if (!track.ended)
            produced = blockFrames;
    }
    if (produced <= 0)
        return std::nullopt;
    auto block = std::make_shared<AudioBlock>();
    block->sampleRate = settings_.sampleRate;
    block->channels = settings_.channels;
    block->samples.assign(static_cast<size_t>(produced) * channels, 0.0f);
    for (Track& track : tracks_) {
        if (track.firstPosition < 0)
            continue;
        // Drop what lies before the block (a track that overlaps itself), then add what falls inside it.
        if (track.firstPosition < position_) {
            const size_t drop = std::min(static_cast<size_t>(position_ - track.firstPosition) * channels, track.samples.size());
            track.samples.erase(track.samples.begin(), track.samples.begin() + static_cast<std::ptrdiff_t>(drop));
            track.firstPosition += static_cast<int64_t>(drop / channels);
        }
        const int64_t offset = track.firstPosition - position_;
        if (offset >= produced)
            continue;
        const size_t count = std::min(track.samples.size() / channels, static_cast<size_t>(produced - offset));
        for (size_t i = 0; i < count * channels; ++i)
            block->samples[static_cast<size_t>(offset) * channels + i] += track.samples[i];
        track.samples.erase(track.samples.begin(), track.samples.begin() + static_cast<std::ptrdiff_t>(count * channels));
        track.firstPosition += static_cast<int64_t>(count);
    }
    for (float& v : block->samples)
        v = std::clamp(v, -1.0f, 1.0f);
    MediaSample sample = MediaSample::sound(block, MediaTime(position_, settings_.sampleRate));
    position_ += produced;
    return sample;
}
