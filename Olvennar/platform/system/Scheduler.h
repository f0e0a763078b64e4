#pragma once

#include <QObject>

#include <functional>

// Wall-clock time and delayed calls on the GUI thread. Logic that waits (debounces, holds, re-arms) takes
// one of these so tests can drive time by hand.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Seconds on a wall clock (only differences matter).
    virtual double now() = 0;
    // Runs the work on the GUI thread after the delay, unless the context object is gone by then.
    virtual void after(double seconds, QObject* context, std::function<void()> work) = 0;
};

class MainLoopScheduler final : public Scheduler {
public:
    double now() override;
    void after(double seconds, QObject* context, std::function<void()> work) override;
};
