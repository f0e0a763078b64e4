#include "shortexport/FrameReadAhead.h"

#include "platform/media/ExportGate.h"
#include "platform/system/ThisThread.h"

#include <algorithm>
#include <chrono>

FrameReadAhead::FrameReadAhead(SampleSource& source, ExportGate& gate, double gatePollSeconds, size_t depth)
    : source_(source)
    , gate_(gate)
    , gatePollSeconds_(gatePollSeconds)
    , depth_(std::max<size_t>(depth, 1))
    , reader_([this] {
        ThisThread::setName("frame.readahead");
        readLoop();
    })
{
}

FrameReadAhead::~FrameReadAhead()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

std::optional<MediaSample> FrameReadAhead::copyNextSample()
{
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return !ready_.empty() || ended_; });
    if (ready_.empty())
        return std::nullopt;
    MediaSample sample = std::move(ready_.front());
    ready_.pop_front();
    guard.unlock();
    changed_.notify_all();
    return sample;
}

void FrameReadAhead::readLoop()
{
    for (;;) {
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [this] { return stopping_ || ready_.size() < depth_; });
            if (stopping_)
                return;
        }
        while (gate_.isPaused()) {
            std::unique_lock guard(lock_);
            if (changed_.wait_for(guard, std::chrono::duration<double>(gatePollSeconds_), [this] { return stopping_; }))
                return;
        }
        std::optional<MediaSample> sample = source_.copyNextSample();
        {
            std::lock_guard guard(lock_);
            if (sample)
                ready_.push_back(std::move(*sample));
            else
                ended_ = true;
        }
        changed_.notify_all();
        if (!sample)
            return;
    }
}
