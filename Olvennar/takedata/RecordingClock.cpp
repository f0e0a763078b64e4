#include "takedata/RecordingClock.h"

#include "platform/system/HostClock.h"

#include <algorithm>
#include <cmath>

void RecordingClock::begin(const MediaTime& time)
{
    std::lock_guard guard(lock_);
    if (!firstPTS_.isValid())
        firstPTS_ = time;
}

std::optional<MediaTime> RecordingClock::pausedBefore(const MediaTime& time) const
{
    MediaTime total = MediaTime::zero();
    for (const Pause& pause : pauses_) {
        if (time < pause.from)
            break;
        if (!pause.until.isValid() || time < pause.until)
            return std::nullopt;
        total = total + (pause.until - pause.from);
    }
    return total;
}

std::optional<MediaTime> RecordingClock::adjust(const MediaTime& time, bool drivesElapsed)
{
    std::lock_guard guard(lock_);
    if (!firstPTS_.isValid() || !time.isValid())
        return std::nullopt;
    const std::optional<MediaTime> paused = pausedBefore(time);
    if (!paused)
        return std::nullopt;
    const MediaTime r = (time - firstPTS_) - *paused;
    if (!r.isNumeric() || r < MediaTime::zero())
        return std::nullopt;
    // A late sample from before a pause never moves the elapsed time the ticker shows backwards.
    if (drivesElapsed && r.seconds() > elapsedSeconds_)
        elapsedSeconds_ = r.seconds();
    return r;
}

bool RecordingClock::pausedAt(const MediaTime& time) const
{
    std::lock_guard guard(lock_);
    return time.isValid() && !pausedBefore(time);
}

MediaTime RecordingClock::runningBetween(const MediaTime& from, const MediaTime& until) const
{
    std::lock_guard guard(lock_);
    if (!from.isValid() || !until.isValid() || until <= from)
        return MediaTime::zero();
    MediaTime running = until - from;
    for (const Pause& pause : pauses_) {
        const MediaTime start = std::max(from, pause.from);
        const MediaTime end = pause.until.isValid() ? std::min(until, pause.until) : until;
        if (start < end)
            running -= end - start;
    }
    return running;
}

std::optional<double> RecordingClock::nowSeconds() const
{
    std::lock_guard guard(lock_);
    if (!firstPTS_.isValid() || paused_)
        return std::nullopt;
    const MediaTime now = HostClock::now();
    const std::optional<MediaTime> paused = pausedBefore(now);
    if (!paused)
        return std::nullopt;
    const double s = ((now - firstPTS_) - *paused).seconds();
    if (!std::isfinite(s) || s < 0)
        return std::nullopt;
    return s;
}

void RecordingClock::pause()
{
    std::lock_guard guard(lock_);
    if (!firstPTS_.isValid() || paused_)
        return;
    paused_ = true;
    pauses_.push_back({HostClock::now(), MediaTime::invalid()});
}

void RecordingClock::resume()
{
    std::lock_guard guard(lock_);
    if (!paused_)
        return;
    paused_ = false;
    Pause& pause = pauses_.back();
    const MediaTime now = HostClock::now();
    pause.until = now > pause.from ? now : pause.from;
}

double RecordingClock::elapsedSeconds() const
{
    std::lock_guard guard(lock_);
    return elapsedSeconds_;
}
