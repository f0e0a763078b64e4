#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// A serial queue: one worker thread runs submitted work items in order. The label's distinctive tail becomes
// the thread name (see threadName), so queues show up by purpose in gdb and top -H.
//
// Threading contract: async() may be called from any thread; work items run one at a time on the worker;
// sync() must not be called from the queue's own worker (it would wait for itself). The destructor runs
// every item already queued, then joins.
class DispatchQueue {
public:
    explicit DispatchQueue(std::string label);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const std::string& label() const { return label_; }
    // The name a queue's thread gets: the label without its reverse-domain prefix ("com.example.app."),
    // and when that is still longer than the 15 bytes Linux keeps, its last 15 bytes from a word's start.
    static std::string threadName(const std::string& label);
    void async(std::function<void()> work);
    // Runs the work on the queue and waits for it.
    void sync(const std::function<void()>& work);
    // Runs the work after the delay (seconds) unless the queue is destroyed first.
    void asyncAfter(double delaySeconds, std::function<void()> work);
    bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

private:
    void run();

    std::string label_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> items_;
    struct Delayed {
        std::chrono::steady_clock::time_point due;
        std::function<void()> work;
    };
    std::deque<Delayed> delayed_;
    bool stopping_ = false;
    std::thread worker_;
};
