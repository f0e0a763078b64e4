#pragma once

#include "platform/media/PixelBuffer.h"
#include "takedata/StudioLook.h"

#include <QRectF>
#include <QSize>

#include <cstdint>

// The painted rooms behind the studio window: the six light looks, painted once per renderer in a
// 1920 × 1080 design space (origin top-left, y down), with overscan so the room can drift.
namespace StudioBackdrop {

// A room picture and where it lies in render space (origin bottom-left): the render frame (0, 0, W, H)
// sits in its middle.
struct Plate {
    PixelBuffer pixels{0, 0};
    QRectF extent;
    bool isEmpty() const { return pixels.isEmpty(); }
};

// round(W × over) × round(H × over) pixels. The dark room is painted by the renderer; asked for it, this
// paints its base colour.
Plate makeLightPlate(StudioBackground background, QSize size, double over);

// Adds the same ±(amplitude/2) offset to red, green and blue of each pixel, drawn from a SplitMix64 stream
// row by row from the top; `centre` shifts the noise's midpoint (0.5 = unbiased).
void addGrain(PixelBuffer& pixels, uint64_t seed, double amplitude, double centre);

// Standard SplitMix64: one 53-bit fraction in [0, 1) per call.
class SplitMix64 {
public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double fraction() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

private:
    uint64_t state_;
};

} // namespace StudioBackdrop
