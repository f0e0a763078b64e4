#pragma once

#include "shorts/ShortFraming.h"

#include <optional>

struct FramingReport;

// The running sums of the framing reports counted while a short is filmed. The take flow resets it when
// filming starts and adds only the reports that arrive while recording or paused. Main thread only.
class ShortFramingAccumulator {
public:
    void reset() { *this = ShortFramingAccumulator(); }
    // Counts the report; its first crop's measurements, when a face was found there, join the sums.
    void add(const FramingReport& report);
    // The means, or nothing when no counted report had a face.
    std::optional<ShortFraming::MeasuredFraming> measured() const;

    int framesAnalyzed() const { return framesAnalyzed_; }
    int framesWithFace() const { return framesWithFace_; }

private:
    int framesAnalyzed_ = 0;
    int framesWithFace_ = 0;
    double eyeSum_ = 0;
    double faceSum_ = 0;
};
