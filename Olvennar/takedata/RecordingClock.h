#pragma once

#include "platform/system/MediaTime.h"

#include <mutex>
#include <optional>
#include <vector>

// The one time line of a take. Every recorder and tracker of a take shares one instance: the zero is the
// presentation time of the first written sample, and pauses (measured on the host clock) are cut out. A
// sample belongs to the take by its capture time, not by when it is handed over: one captured before a pause
// keeps its place even when it reaches a writer during the pause or after the resume.
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
    // Capture time -> take time; nothing when the sample does not belong to the take (before the zero or
    // captured while paused).
    std::optional<MediaTime> adjust(const MediaTime& time, bool drivesElapsed);
    // Whether `time` falls in a pause: a sample captured then is no part of the take, whenever it arrives.
    bool pausedAt(const MediaTime& time) const;
    // The take time that passes between two capture times: their distance less what of it was paused.
    MediaTime runningBetween(const MediaTime& from, const MediaTime& until) const;
    // Current take time for events without a sample time; nothing before the zero, while paused, or when
    // the result would be negative or not finite.
    std::optional<double> nowSeconds() const;
    void pause();
    void resume();
    double elapsedSeconds() const;

private:
    mutable std::mutex lock_;
    struct Pause {
        MediaTime from;
        MediaTime until; // invalid while the pause lasts
    };
    // The paused span in effect at `time` (the sum of the pauses that ended by then), or nothing when
    // `time` falls in a pause.
    std::optional<MediaTime> pausedBefore(const MediaTime& time) const;

    MediaTime firstPTS_;
    std::vector<Pause> pauses_; // oldest first; a take has a handful
    bool paused_ = false;
    double elapsedSeconds_ = 0;
};
