#pragma once

#include "platform/system/MediaTime.h"

#include <mutex>
#include <optional>

// The one time line of a take. Every recorder and tracker of a take shares one instance: the zero is the
// presentation time of the first written sample, and pauses (measured on the host clock) are cut out.
// A new clock is made for every take; it is never reset.
//
// Threading: every operation takes the lock, does constant work and never calls out while holding it.
class RecordingClock {
public:
    RecordingClock() = default;
    RecordingClock(const RecordingClock&) = delete;
    RecordingClock& operator=(const RecordingClock&) = delete;

    // Sets the zero unless a writer already did.
    void begin(const MediaTime& time);
    // Capture time -> take time; nothing when the sample does not belong to the take.
    std::optional<MediaTime> adjust(const MediaTime& time, bool drivesElapsed);
    // Current take time for events without a sample time; nothing before the zero, while paused, or when
    // the result would be negative or not finite.
    std::optional<double> nowSeconds() const;
    void pause();
    void resume();
    double elapsedSeconds() const;

private:
    mutable std::mutex lock_;
    MediaTime firstPTS_;
    MediaTime pausedTotal_ = MediaTime::zero();
    MediaTime pauseStartedAt_;
    MediaTime resumedAt_;
    bool paused_ = false;
    double elapsedSeconds_ = 0;
};
