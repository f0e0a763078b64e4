#include "takes/CameraWarmUp.h"

#include "platform/media/PixelBuffer.h"

#include <algorithm>

namespace CameraWarmUp {

double meanLuma(const PixelBuffer& frame)
{
    if (frame.isEmpty())
        return 0;
    // About 64 × 36 samples whatever the size: enough to see an exposure change, cheap on the main thread.
    const int stepX = std::max(1, frame.width() / 64);
    const int stepY = std::max(1, frame.height() / 36);
    double sum = 0;
    long count = 0;
    for (int y = stepY / 2; y < frame.height(); y += stepY) {
        const uint8_t* row = frame.row(y);
        for (int x = stepX / 2; x < frame.width(); x += stepX) {
            const uint8_t* pixel = row + static_cast<size_t>(x) * PixelBuffer::bytesPerPixel;
            sum += 0.0722 * pixel[0] + 0.7152 * pixel[1] + 0.2126 * pixel[2];
            ++count;
        }
    }
    return count ? sum / count / 255.0 : 0;
}

bool settled(const std::deque<double>& lastReadings)
{
    if (lastReadings.size() < 3)
        return false;
    const auto [low, high] = std::minmax_element(lastReadings.end() - 3, lastReadings.end());
    if (*high <= 0)
        return true; // a black picture does not change any more either
    return (*high - *low) / *high < settledSpread;
}

} // namespace CameraWarmUp
