#include "shorts/ShortPacer.h"

#include <cmath>

namespace {

// Frame times come as rounded doubles: a raw frame due exactly half an output frame after t (every other
// frame of a 60 fps camera) must count as due whichever way the rounding went.
constexpr double rounding = 1e-6;

} // namespace

ShortPacer::ShortPacer(double start, double end, int framesPerSecond)
    : start_(start)
    , end_(end)
    , frameDuration_(1.0 / framesPerSecond)
{
}

ShortPacer::Decision ShortPacer::next()
{
    if (ended_)
        return Decision::end;
    const double d = frameDuration_;
    if (!held_) {
        filling_ = Slot::held;
        return Decision::readFrame;
    }
    if (!upcoming_ && !sourceEnded_) {
        filling_ = Slot::upcoming;
        return Decision::readFrame;
    }
    const double t = start_ + d * static_cast<double>(framesWritten_);
    if (upcoming_ && upcoming_->presentation <= t + d * 0.5 + rounding) {
        held_ = upcoming_;
        heldIndex_ = readCount_ - 1;
        upcoming_.reset();
        filling_ = Slot::upcoming;
        return Decision::readFrame;
    }
    if (t >= end_ - d * 0.25) {
        ended_ = true;
        return Decision::end;
    }
    if (sourceEnded_ && !upcoming_) {
        const double span = std::isfinite(held_->duration) && held_->duration > 0 ? held_->duration : d;
        if (t >= held_->presentation + span - d * 0.25) {
            ended_ = true;
            return Decision::end;
        }
    }
    return Decision::showHeld;
}

void ShortPacer::frameRead(std::optional<Timing> timing)
{
    if (!timing) {
        if (filling_ == Slot::held)
            ended_ = true;
        else
            sourceEnded_ = true;
        return;
    }
    ++readCount_;
    if (filling_ == Slot::held) {
        held_ = timing;
        heldIndex_ = readCount_ - 1;
    } else {
        upcoming_ = timing;
    }
}
