#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace Mixdown {

// A blocking hand-over queue between two pipeline threads. close() lets the consumer drain what is left;
// cancel() releases both sides at once.
template <typename T> class BoundedQueue {
public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

    // False once the queue is closed or cancelled.
    bool push(T value)
    {
        std::unique_lock guard(lock_);
        spaceFree_.wait(guard, [&] { return items_.size() < capacity_ || closed_; });
        if (closed_)
            return false;
        items_.push_back(std::move(value));
        itemReady_.notify_one();
        return true;
    }

    // Nothing at the end (closed and drained) or once cancelled.
    std::optional<T> pop()
    {
        std::unique_lock guard(lock_);
        itemReady_.wait(guard, [&] { return !items_.empty() || closed_; });
        if (cancelled_ || items_.empty())
            return std::nullopt;
        T value = std::move(items_.front());
        items_.pop_front();
        spaceFree_.notify_one();
        return value;
    }

    void close()
    {
        std::lock_guard guard(lock_);
        closed_ = true;
        itemReady_.notify_all();
        spaceFree_.notify_all();
    }

    void cancel()
    {
        std::lock_guard guard(lock_);
        closed_ = cancelled_ = true;
        items_.clear();
        itemReady_.notify_all();
        spaceFree_.notify_all();
    }

private:
    size_t capacity_;
    std::mutex lock_;
    std::condition_variable itemReady_;
    std::condition_variable spaceFree_;
    std::deque<T> items_;
    bool closed_ = false;
    bool cancelled_ = false;
};

} // namespace Mixdown
