#include "takedata/RecordingClock.h"

#include "platform/system/HostClock.h"

#include <cmath>

void RecordingClock::begin(const MediaTime& time)
{
    std::lock_guard guard(lock_);
    if (!firstPTS_.isValid())
        firstPTS_ = time;
}

std::optional<MediaTime> RecordingClock::adjust(const MediaTime& time, bool drivesElapsed)
{
    std::lock_guard guard(lock_);
    if (!firstPTS_.isValid() || !time.isValid() || paused_)
        return std::nullopt;
    // A sample captured during the pause and delivered after the resume does not belong to the take.
    if (resumedAt_.isValid() && time < resumedAt_)
        return std::nullopt;
    const MediaTime r = (time - firstPTS_) - pausedTotal_;
    if (!r.isNumeric() || r < MediaTime::zero())
        return std::nullopt;
    if (drivesElapsed)
        elapsedSeconds_ = r.seconds();
    return r;
}

std::optional<double> RecordingClock::nowSeconds() const
{
    std::lock_guard guard(lock_);
    if (!firstPTS_.isValid() || paused_)
        return std::nullopt;
    const double s = ((HostClock::now() - firstPTS_) - pausedTotal_).seconds();
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
    pauseStartedAt_ = HostClock::now();
}

void RecordingClock::resume()
{
    std::lock_guard guard(lock_);
    if (!paused_)
        return;
    const MediaTime now = HostClock::now();
    if (pauseStartedAt_.isValid() && now > pauseStartedAt_)
        pausedTotal_ = pausedTotal_ + (now - pauseStartedAt_);
    pauseStartedAt_ = MediaTime::invalid();
    resumedAt_ = now;
    paused_ = false;
}

double RecordingClock::elapsedSeconds() const
{
    std::lock_guard guard(lock_);
    return elapsedSeconds_;
}
