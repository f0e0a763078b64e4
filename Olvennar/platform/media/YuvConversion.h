#pragma once

#include "platform/media/PixelBuffer.h"
#include "platform/media/PlanarCanvas.h"

#include <cstdint>

// 8-bit planar YUV (4:2:0, 4:2:2 or 4:4:4), BT.601 or BT.709, limited or full range → opaque BGRA of the
// same size. Single precision with rounding: within a level of swscale's accurate path on flat colour,
// several times faster, because the loops vectorise. Chroma comes from the nearest sample, as swscale's fast
// converter does. (The other way, the encoders use PictureConversion.)
//
// Threading: stateless apart from its coefficients; one converter may serve several threads.
class YuvConversion {
public:
    struct Planes {
        const uint8_t* data[3] = {};
        int stride[3] = {};
        int chromaShiftX = 1; // log2 of the luma columns per chroma column
        int chromaShiftY = 1;
    };

    YuvConversion(bool bt709, bool fullRange);

    // False (nothing written) when `destination` is empty or a plane is missing.
    bool toBgra(const Planes& source, PixelBuffer& destination) const;
    // The same for 4:2:0 planes of the destination's size.
    bool toBgra(const PlanarView& source, PixelBuffer& destination) const;

private:
    float lumaScale_;
    float lumaOffset_;
    float chromaScale_;
    float redFromV_;
    float greenFromU_;
    float greenFromV_;
    float blueFromU_;
};
