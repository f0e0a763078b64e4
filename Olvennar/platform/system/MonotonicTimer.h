#pragma once

#include <functional>

// Monotonic seconds and delayed calls for logic confined to a serial queue. The work runs on the timer's
// own thread; callers hop onto their queue from there. Tests drive both by hand.
class MonotonicTimer {
public:
    virtual ~MonotonicTimer() = default;
    virtual double now() = 0;
    // Work still pending when the timer is destroyed is dropped.
    virtual void after(double seconds, std::function<void()> work) = 0;
};
