#pragma once

#include "platform/media/MediaSample.h"

#include <functional>

class DispatchQueue;

// A writer input: accepts samples while it is ready and asks for more through a callback on a queue.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual bool isReadyForMoreMediaData() const = 0;
    // False when the writer refuses the sample; the writer's own status then says why.
    virtual bool append(const MediaSample& sample) = 0;
    virtual void markAsFinished() = 0;
    // Calls `block` on `queue` whenever the input can take more data, until it is marked finished.
    virtual void requestMediaDataWhenReady(DispatchQueue& queue, std::function<void()> block) = 0;
};
