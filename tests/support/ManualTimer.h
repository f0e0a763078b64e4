#pragma once

#include "platform/system/MonotonicTimer.h"

#include <algorithm>
#include <mutex>
#include <vector>

// Time moves only in advance(); due work runs there in order, each followed by `settle` (typically waiting
// until the queue the work posted to is idle, so work it schedules in turn lands in the same advance).
class ManualTimer final : public MonotonicTimer {
public:
    double now() override
    {
        std::lock_guard guard(lock_);
        return time_;
    }
    void after(double seconds, std::function<void()> work) override
    {
        std::lock_guard guard(lock_);
        pending_.push_back({time_ + std::max(0.0, seconds), sequence_++, std::move(work)});
    }
    void advance(double seconds)
    {
        std::unique_lock guard(lock_);
        const double until = time_ + seconds;
        for (;;) {
            auto next = std::min_element(pending_.begin(), pending_.end(), [](const Item& a, const Item& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
            if (next == pending_.end() || next->due > until + 1e-9)
                break;
            Item item = std::move(*next);
            pending_.erase(next);
            time_ = std::max(time_, item.due);
            guard.unlock();
            item.work();
            if (settle)
                settle();
            guard.lock();
        }
        time_ = until;
    }

    std::function<void()> settle;

private:
    struct Item {
        double due;
        long order;
        std::function<void()> work;
    };
    std::mutex lock_;
    double time_ = 100.0;
    long sequence_ = 0;
    std::vector<Item> pending_;
};
