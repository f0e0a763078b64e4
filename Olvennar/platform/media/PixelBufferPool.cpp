#include "platform/media/PixelBufferPool.h"

std::shared_ptr<PixelBufferPool> PixelBufferPool::make(int width, int height, size_t keepAtMost)
{
    return std::shared_ptr<PixelBufferPool>(new PixelBufferPool(width, height, keepAtMost));
}

std::shared_ptr<PixelBuffer> PixelBufferPool::take()
{
    std::unique_ptr<PixelBuffer> buffer;
    {
        std::lock_guard guard(lock_);
        if (!idle_.empty()) {
            buffer = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    if (!buffer)
        buffer = std::make_unique<PixelBuffer>(width_, height_);
    std::weak_ptr<PixelBufferPool> weakPool = weak_from_this();
    return std::shared_ptr<PixelBuffer>(buffer.release(), [weakPool](PixelBuffer* released) {
        if (auto pool = weakPool.lock())
            pool->giveBack(released);
        else
            delete released;
    });
}

void PixelBufferPool::giveBack(PixelBuffer* buffer)
{
    std::unique_ptr<PixelBuffer> owned(buffer);
    std::lock_guard guard(lock_);
    if (idle_.size() < keepAtMost_)
        idle_.push_back(std::move(owned));
}

size_t PixelBufferPool::idleCount() const
{
    std::lock_guard guard(lock_);
    return idle_.size();
}
