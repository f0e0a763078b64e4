#pragma once

#include "platform/system/Scheduler.h"

#include <QPointer>

#include <algorithm>
#include <vector>

// Time moves only when the test says so; delayed work runs in due order during advance().
class FakeScheduler final : public Scheduler {
public:
    double now() override { return time; }
    void after(double seconds, QObject* context, std::function<void()> work) override
    {
        pending.push_back({time + seconds, sequence++, QPointer<QObject>(context), std::move(work)});
    }
    void advance(double seconds)
    {
        const double until = time + seconds;
        for (;;) {
            auto next = std::min_element(pending.begin(), pending.end(), [](const Item& a, const Item& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
            if (next == pending.end() || next->due > until)
                break;
            Item item = std::move(*next);
            pending.erase(next);
            time = std::max(time, item.due);
            if (item.context)
                item.work();
        }
        time = until;
    }

    double time = 1000.0;

private:
    struct Item {
        double due;
        int order;
        QPointer<QObject> context;
        std::function<void()> work;
    };
    std::vector<Item> pending;
    int sequence = 0;
};
