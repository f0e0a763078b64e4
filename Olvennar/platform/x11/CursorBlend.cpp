#include "platform/x11/CursorBlend.h"

#include <algorithm>

namespace CursorBlend {

void over(uint8_t* frame, size_t bytesPerRow, int frameWidth, int frameHeight, const uint32_t* cursor, int cursorWidth,
    int cursorHeight, int left, int top)
{
    if (!frame || !cursor)
        return;
    const int x0 = std::max(0, left);
    const int y0 = std::max(0, top);
    const int x1 = std::min(frameWidth, left + cursorWidth);
    const int y1 = std::min(frameHeight, top + cursorHeight);
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(frame + static_cast<size_t>(y) * bytesPerRow);
        const uint32_t* source = cursor + static_cast<size_t>(y - top) * static_cast<size_t>(cursorWidth);
        for (int x = x0; x < x1; ++x) {
            const uint32_t s = source[x - left];
            const uint32_t alpha = s >> 24;
            if (alpha == 0)
                continue;
            const uint32_t d = row[x];
            const uint32_t keep = 255 - alpha;
            uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const uint32_t blended = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * keep + 127) / 255;
                out |= std::min<uint32_t>(blended, 255) << shift;
            }
            row[x] = out;
        }
    }
}

} // namespace CursorBlend
