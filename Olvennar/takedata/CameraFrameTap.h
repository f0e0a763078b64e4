#pragma once

#include "platform/media/PixelBuffer.h"

#include <memory>
#include <mutex>
#include <utility>

// The newest camera frame, handed from a recorder's capture queue to whoever wants to look at the live picture
// (framing monitor, export preview) without owning a capture output. No queue: a new frame replaces the old.
// The lock is held only to swap or copy the reference; readers work on their copy outside it.
class CameraFrameTap {
public:
    // Replaces the held frame; none clears the slot (the preview stopped).
    void store(std::shared_ptr<const PixelBuffer> frame)
    {
        std::shared_ptr<const PixelBuffer> previous;
        {
            std::lock_guard guard(lock_);
            previous = std::exchange(buffer_, std::move(frame));
        }
        // The old frame is released outside the lock.
    }
    void clear() { store(nullptr); }

    std::shared_ptr<const PixelBuffer> newest() const
    {
        std::lock_guard guard(lock_);
        return buffer_;
    }

private:
    mutable std::mutex lock_;
    std::shared_ptr<const PixelBuffer> buffer_;
};
