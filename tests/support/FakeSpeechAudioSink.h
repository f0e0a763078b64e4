#pragma once

#include "takedata/SpeechAudioSink.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// Remembers the start time of every block it was fed. While `held`, a feed waits: the feeding queue backs up.
class FakeSpeechAudioSink final : public SpeechAudioSink {
public:
    void feed(const MediaSample& block) override
    {
        while (held)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard guard(lock_);
        fed_.push_back(block.presentationTime());
    }
    std::vector<MediaTime> fed() const
    {
        std::lock_guard guard(lock_);
        return fed_;
    }

    std::atomic<bool> held{false};

private:
    mutable std::mutex lock_;
    std::vector<MediaTime> fed_;
};
