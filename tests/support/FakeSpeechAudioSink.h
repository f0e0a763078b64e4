#pragma once

#include "takedata/SpeechAudioSink.h"

#include <mutex>
#include <vector>

// Remembers the start time of every block it was fed.
class FakeSpeechAudioSink final : public SpeechAudioSink {
public:
    void feed(const MediaSample& block) override
    {
        std::lock_guard guard(lock_);
        fed_.push_back(block.presentationTime());
    }
    std::vector<MediaTime> fed() const
    {
        std::lock_guard guard(lock_);
        return fed_;
    }

private:
    mutable std::mutex lock_;
    std::vector<MediaTime> fed_;
};
