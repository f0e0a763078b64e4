#pragma once

#include "platform/media/MovieReader.h"

#include <deque>
#include <vector>

// All chosen audio tracks of one reader decoded, resampled to one format (48 kHz stereo float by default)
// and summed with clipping to [-1, 1], each track at its own place on the movie timeline. Hands out blocks
// of 1024 frames.
//
// Threading: construct before the reader starts; then drain from one thread.
class AudioMix : public SampleSource {
public:
    AudioMix(MovieReader& reader, const std::vector<int>& trackIndices, const AudioOutputSettings& settings = {});

    // False when no track could be added (no audio in the file).
    bool isEmpty() const { return tracks_.empty(); }
    std::optional<MediaSample> copyNextSample() override;

    static constexpr int blockFrames = 1024;

private:
    struct Track {
        MovieReaderOutput* output = nullptr;
        std::deque<float> samples; // interleaved
        int64_t firstPosition = -1; // sample index of samples.front()
        bool ended = false;
    };
    bool fill(Track& track, int64_t untilPosition);

    AudioOutputSettings settings_;
    std::vector<Track> tracks_;
    int64_t position_ = -1;
};
