#pragma once

#include <algorithm>
#include <cmath>
#include <functional>

namespace Mixdown {

// Turns appended sample times into progress fractions and passes on only the ones worth showing: the first,
// 1.0, and every rise of at least 0.01. Used from one queue.
class ProgressThrottle {
public:
    ProgressThrottle(std::function<void(double)> report, double sessionStartSeconds, double durationSeconds)
        : report_(std::move(report))
        , start_(sessionStartSeconds)
        , duration_(durationSeconds)
    {
    }

    // Without a closure or a positive finite duration nothing is ever reported.
    bool isActive() const { return report_ && std::isfinite(duration_) && duration_ > 0; }

    void sampleAppended(double timeSeconds)
    {
        if (!isActive() || !std::isfinite(timeSeconds))
            return;
        const double fraction = std::clamp((timeSeconds - start_) / duration_, 0.0, 1.0);
        if (last_ >= 0 && fraction < 1.0 && fraction - last_ < 0.01)
            return;
        if (last_ >= 1.0)
            return;
        last_ = fraction;
        report_(fraction);
    }

    // The movie is complete: 1.0, unless it was already reported.
    void finish()
    {
        if (isActive() && last_ < 1.0) {
            last_ = 1.0;
            report_(1.0);
        }
    }

private:
    std::function<void(double)> report_;
    double start_;
    double duration_;
    double last_ = -1;
};

} // namespace Mixdown
