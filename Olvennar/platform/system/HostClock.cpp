#include "platform/system/HostClock.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>

namespace {
std::mutex sourceLock;
std::shared_ptr<std::function<int64_t()>> testSource;
std::atomic<bool> hasTestSource{false};
}

int64_t HostClock::nowNanoseconds()
{
    if (hasTestSource.load(std::memory_order_acquire)) {
        std::shared_ptr<std::function<int64_t()>> source;
        {
            std::lock_guard guard(sourceLock);
            source = testSource;
        }
        if (source)
            return (*source)();
    }
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void HostClock::setSourceForTesting(std::function<int64_t()> source)
{
    std::lock_guard guard(sourceLock);
    testSource = source ? std::make_shared<std::function<int64_t()>>(std::move(source)) : nullptr;
    hasTestSource.store(testSource != nullptr, std::memory_order_release);
}
