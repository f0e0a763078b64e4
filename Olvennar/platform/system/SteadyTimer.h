#pragma once

#include "platform/system/DispatchQueue.h"
#include "platform/system/MonotonicTimer.h"

// The steady clock, with delayed calls on a thread of its own.
class SteadyTimer final : public MonotonicTimer {
public:
    explicit SteadyTimer(std::string label) : queue_(std::move(label)) {}
    double now() override;
    void after(double seconds, std::function<void()> work) override { queue_.asyncAfter(seconds, std::move(work)); }

private:
    DispatchQueue queue_;
};
