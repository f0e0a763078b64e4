#include "shorts/ShortFramingAccumulator.h"

#include "framing/FramingReport.h"

void ShortFramingAccumulator::add(const FramingReport& report)
{
    ++framesAnalyzed_;
    if (report.metrics.empty() || !report.metrics.front())
        return;
    ++framesWithFace_;
    eyeSum_ += report.metrics.front()->eyeY;
    faceSum_ += report.metrics.front()->faceHeight;
}

std::optional<ShortFraming::MeasuredFraming> ShortFramingAccumulator::measured() const
{
    if (framesWithFace_ < 1)
        return std::nullopt;
    return ShortFraming::MeasuredFraming {eyeSum_ / framesWithFace_, faceSum_ / framesWithFace_, framesAnalyzed_, framesWithFace_};
}
