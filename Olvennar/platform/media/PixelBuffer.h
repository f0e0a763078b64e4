#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// A BGRA8 premultiplied image with 64-byte aligned rows (SIMD-friendly, and what swscale likes).
// Views as cv::Mat or QImage wrap `data()` without copying (see PixelBufferViews.h).
class PixelBuffer {
public:
    static constexpr int bytesPerPixel = 4;
    static constexpr size_t rowAlignment = 64;

    // Zero-filled (transparent black). Sizes below 1 give an empty buffer.
    PixelBuffer(int width, int height);
    PixelBuffer(const PixelBuffer& other);
    PixelBuffer& operator=(const PixelBuffer& other);
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;
    ~PixelBuffer() = default;

    int width() const { return width_; }
    int height() const { return height_; }
    size_t bytesPerRow() const { return bytesPerRow_; }
    bool isEmpty() const { return width_ <= 0 || height_ <= 0; }
    uint8_t* data()
    {
        forgetOpaque();
        return data_.get();
    }
    const uint8_t* data() const { return data_.get(); }
    uint8_t* row(int y)
    {
        forgetOpaque();
        return data_.get() + static_cast<size_t>(y) * bytesPerRow_;
    }
    const uint8_t* row(int y) const { return data_.get() + static_cast<size_t>(y) * bytesPerRow_; }
    size_t byteCount() const { return bytesPerRow_ * static_cast<size_t>(height_ > 0 ? height_ : 0); }

    // Fills every pixel; with alpha 255 the buffer is then known to be opaque.
    void fill(uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha);

    // A producer that has written alpha 255 into every pixel says so, and readers may skip looking
    // (a decoded video picture is opaque). Any later write access (data(), row(), a fill that is not
    // opaque) forgets it, so the mark never outlives the pixels it describes; a whole copy keeps it.
    // Pointers taken before the mark must not be written through afterwards.
    void markOpaque() { knownOpaque_.store(!isEmpty(), std::memory_order_relaxed); }
    bool isKnownOpaque() const { return knownOpaque_.load(std::memory_order_relaxed); }

private:
    // Row writers on several threads all pass here: only the first one writes the flag.
    void forgetOpaque()
    {
        if (knownOpaque_.load(std::memory_order_relaxed))
            knownOpaque_.store(false, std::memory_order_relaxed);
    }

    // Frames are large and are freed on other threads than the ones that made them: they are mapped straight
    // from the system, so a freed frame goes back at once instead of staying in one thread's heap.
    struct AlignedFree {
        size_t mappedBytes; // 0 (value-initialised): from the heap
        void operator()(uint8_t* p) const;
    };
    int width_ = 0;
    int height_ = 0;
    size_t bytesPerRow_ = 0;
    std::unique_ptr<uint8_t[], AlignedFree> data_;
    std::atomic<bool> knownOpaque_ {false};
};
