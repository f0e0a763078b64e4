#pragma once

#include "platform/media/PlanarCanvas.h"

#include <cstddef>
#include <cstdint>

// Opaque BGRA pixels → 8-bit 4:2:0 planes of the same size, BT.709 limited range, each chroma sample the
// average of its 2×2 luma block (PlanarCanvas's rule). Fixed-point loops the compiler vectorises: about
// what a plain BGRA copy of the picture costs, several times less than swscale's general path, so a capture
// thread can convert each grab itself and hand the encoder pictures it only has to encode.
// Alpha is ignored. Within one level of PictureConversion on flat colour.
//
// Threading: stateless; any thread.
namespace BgraToPlanar {

// `source` holds `out.height` rows of `out.width` pixels, `bytesPerRow` apart. Does nothing for an empty canvas.
void convert(const uint8_t* source, size_t bytesPerRow, const PlanarCanvas& out);

} // namespace BgraToPlanar
