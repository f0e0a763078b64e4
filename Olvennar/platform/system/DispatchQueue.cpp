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

std::string DispatchQueue::threadName(const std::string& label)
{
    constexpr size_t longest = 15;
    std::string name = label;
    // "com.quorrel.festrin.device.writer": three segments of domain before the part that tells queues apart.
    const auto first = name.find('.');
    if (first >= 2 && first <= 3) {
        size_t cut = first;
        for (int segment = 0; segment < 2 && cut != std::string::npos; ++segment)
            cut = name.find('.', cut + 1);
        if (cut != std::string::npos && cut + 1 < name.size())
            name = name.substr(cut + 1);
    }
    if (name.size() <= longest)
        return name;
    std::string tail = name.substr(name.size() - longest);
    // Start at a word: "ice-track.audio" reads better as "track.audio".
    if (const auto word = tail.find_first_of(".-_"); word != std::string::npos && word + 1 < tail.size() && name[name.size() - longest - 1] != '.'
        && name[name.size() - longest - 1] != '-' && name[name.size() - longest - 1] != '_')
        tail = tail.substr(word + 1);
    return tail;
}

void DispatchQueue::run()
{
    pthread_setname_np(pthread_self(), threadName(label_).c_str());
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
