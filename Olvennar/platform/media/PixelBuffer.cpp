#include "platform/media/PixelBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace {

// From this size on, pictures are mapped pages (a 640 × 400 picture and up).
constexpr size_t mappedFrom = size_t(1) << 20;

} // namespace

void PixelBuffer::AlignedFree::operator()(uint8_t* p) const
{
    if (mappedBytes > 0)
        munmap(p, mappedBytes);
    else
        std::free(p);
}

PixelBuffer::PixelBuffer(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    width_ = width;
    height_ = height;
    const size_t raw = static_cast<size_t>(width) * bytesPerPixel;
    bytesPerRow_ = (raw + rowAlignment - 1) / rowAlignment * rowAlignment;
    if (byteCount() >= mappedFrom) {
        // Fresh pages read as zeros; page alignment covers the row alignment.
        void* memory = mmap(nullptr, byteCount(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            throw std::bad_alloc();
        data_ = std::unique_ptr<uint8_t[], AlignedFree>(static_cast<uint8_t*>(memory), AlignedFree {byteCount()});
        return;
    }
    void* memory = std::aligned_alloc(rowAlignment, byteCount());
    if (!memory)
        throw std::bad_alloc();
    std::memset(memory, 0, byteCount());
    data_.reset(static_cast<uint8_t*>(memory));
}

PixelBuffer::PixelBuffer(const PixelBuffer& other)
    : PixelBuffer(other.width_, other.height_)
{
    if (!isEmpty())
        std::memcpy(data_.get(), other.data_.get(), byteCount());
    knownOpaque_.store(other.isKnownOpaque(), std::memory_order_relaxed);
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : width_(other.width_)
    , height_(other.height_)
    , bytesPerRow_(other.bytesPerRow_)
    , data_(std::move(other.data_))
    , knownOpaque_(other.isKnownOpaque())
{
    other.width_ = other.height_ = 0;
    other.bytesPerRow_ = 0;
    other.knownOpaque_.store(false, std::memory_order_relaxed);
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept
{
    if (this != &other) {
        width_ = other.width_;
        height_ = other.height_;
        bytesPerRow_ = other.bytesPerRow_;
        data_ = std::move(other.data_);
        knownOpaque_.store(other.isKnownOpaque(), std::memory_order_relaxed);
        other.width_ = other.height_ = 0;
        other.bytesPerRow_ = 0;
        other.knownOpaque_.store(false, std::memory_order_relaxed);
    }
    return *this;
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other)
{
    if (this != &other)
        *this = PixelBuffer(other);
    return *this;
}

void PixelBuffer::fill(uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha)
{
    const uint32_t pixel = static_cast<uint32_t>(blue) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(red) << 16
        | static_cast<uint32_t>(alpha) << 24;
    for (int y = 0; y < height_; ++y) {
        auto* p = reinterpret_cast<uint32_t*>(row(y));
        for (int x = 0; x < width_; ++x)
            p[x] = pixel;
    }
    if (alpha == 255)
        markOpaque();
}
