#pragma once

#include "platform/media/PixelBuffer.h"

#include <memory>
#include <mutex>
#include <vector>

// Recycles same-sized pixel buffers: a buffer handed out returns to the pool when its last reference goes,
// so decoding and rendering loops do not allocate (and zero) a frame per picture. Reused buffers keep
// their old contents; callers overwrite every pixel.
//
// Threading: take() may be called from any thread; buffers may be released on any thread, also after the
// pool is gone.
class PixelBufferPool : public std::enable_shared_from_this<PixelBufferPool> {
public:
    static std::shared_ptr<PixelBufferPool> make(int width, int height, size_t keepAtMost = 8);

    std::shared_ptr<PixelBuffer> take();
    int width() const { return width_; }
    int height() const { return height_; }
    size_t idleCount() const;

private:
    PixelBufferPool(int width, int height, size_t keepAtMost) : width_(width), height_(height), keepAtMost_(keepAtMost) {}
    void giveBack(PixelBuffer* buffer);

    int width_;
    int height_;
    size_t keepAtMost_;
    mutable std::mutex lock_;
    std::vector<std::unique_ptr<PixelBuffer>> idle_;
};
