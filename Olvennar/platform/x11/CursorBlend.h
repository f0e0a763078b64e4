#pragma once

#include <cstddef>
#include <cstdint>

// Draws a premultiplied ARGB cursor image (the XFixes layout: one uint32 per pixel, alpha in the top byte)
// over a BGRA frame at (left, top); the parts outside the frame are clipped.
namespace CursorBlend {
void over(uint8_t* frame, size_t bytesPerRow, int frameWidth, int frameHeight, const uint32_t* cursor, int cursorWidth,
    int cursorHeight, int left, int top);
}
