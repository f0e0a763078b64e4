#pragma once

#include <mutex>

// Lets a writer's progress through at most once per hundredth, plus the final 1.0. One per render job;
// pass() is called from the mixdown's video queue.
class ProgressThrottle {
public:
    // True when the fraction should reach the row.
    bool pass(double fraction);

private:
    std::mutex lock_;
    double last_ = -1.0;
};
