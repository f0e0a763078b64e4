#pragma once

#include "platform/system/HostClock.h"

#include <atomic>
#include <cstdint>

// Drives HostClock by hand for the lifetime of the object.
class ManualClock {
public:
    explicit ManualClock(double startSeconds = 1000.0)
        : nanoseconds_(static_cast<int64_t>(startSeconds * 1e9))
    {
        HostClock::setSourceForTesting([this] { return nanoseconds_.load(); });
    }
    ~ManualClock() { HostClock::setSourceForTesting({}); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    void advance(double seconds) { nanoseconds_ += static_cast<int64_t>(seconds * 1e9); }
    void set(double seconds) { nanoseconds_ = static_cast<int64_t>(seconds * 1e9); }
    MediaTime now() const { return MediaTime::fromNanoseconds(nanoseconds_.load()); }
    MediaTime at(double seconds) const { return MediaTime::fromNanoseconds(static_cast<int64_t>(seconds * 1e9)); }

private:
    std::atomic<int64_t> nanoseconds_;
};
