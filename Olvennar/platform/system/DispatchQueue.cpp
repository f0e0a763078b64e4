#include "platform/system/DispatchQueue.h"

#include <algorithm>
#include <pthread.h>

DispatchQueue::DispatchQueue(std::string label)
    : label_(std::move(label))
{
    worker_ = std::thread([this] { run(); });
}

DispatchQueue::~DispatchQueue()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void DispatchQueue::async(std::function<void()> work)
{
    {
        std::lock_guard guard(lock_);
        items_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void DispatchQueue::sync(const std::function<void()>& work)
{
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;
    async([&] {
        work();
        std::lock_guard guard(doneLock);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock guard(doneLock);
    doneSignal.wait(guard, [&] { return done; });
}

void DispatchQueue::asyncAfter(double delaySeconds, std::function<void()> work)
{
    const auto due = std::chrono::steady_clock::now()
        + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(std::max(0.0, delaySeconds)));
    {
        std::lock_guard guard(lock_);
        auto at = std::upper_bound(delayed_.begin(), delayed_.end(), due, [](auto t, const Delayed& d) { return t < d.due; });
        delayed_.insert(at, Delayed{due, std::move(work)});
    }
    wake_.notify_one();
}

void DispatchQueue::run()
{
    pthread_setname_np(pthread_self(), label_.substr(0, 15).c_str());
    std::unique_lock guard(lock_);
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        while (!delayed_.empty() && delayed_.front().due <= now) {
            items_.push_back(std::move(delayed_.front().work));
            delayed_.pop_front();
        }
        if (!items_.empty()) {
            auto work = std::move(items_.front());
            items_.pop_front();
            guard.unlock();
            work();
            guard.lock();
            continue;
        }
        if (stopping_)
            return; // delayed items that are not yet due are dropped with the queue
        if (delayed_.empty())
            wake_.wait(guard);
        else
            wake_.wait_until(guard, delayed_.front().due);
    }
}
