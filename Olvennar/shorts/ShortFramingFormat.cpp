#include "shorts/ShortFramingFormat.h"

#include <algorithm>

namespace ShortFraming {

bool runsAtThirty(const CameraHub::Format& format)
{
    if (format.frameRateRanges.empty() || format.topRate() < 29.5)
        return false;
    const auto slowest = std::min_element(format.frameRateRanges.begin(), format.frameRateRanges.end(),
        [](const auto& a, const auto& b) { return a.minFrameRate < b.minFrameRate; });
    return slowest->minFrameRate <= 30.5;
}

std::optional<size_t> selectFormat(const std::vector<CameraHub::Format>& formats, std::optional<int> maxHeight)
{
    std::optional<size_t> best;
    for (size_t i = 0; i < formats.size(); ++i) {
        const CameraHub::Format& format = formats[i];
        if (format.width < format.height || format.width > 1920 || (maxHeight && format.height > *maxHeight))
            continue;
        if (!runsAtThirty(format))
            continue;
        if (!best || format.height > formats[*best].height
            || (format.height == formats[*best].height && format.width > formats[*best].width))
            best = i;
    }
    return best;
}

std::optional<QSize> selectFormat(CameraHub& device, std::optional<int> maxHeight)
{
    const std::vector<CameraHub::Format> formats = device.formats();
    const std::optional<size_t> chosen = selectFormat(formats, maxHeight);
    if (!chosen || !device.setActiveFormat(*chosen, MediaTime(1, 30)))
        return std::nullopt;
    return QSize(formats[*chosen].width, formats[*chosen].height);
}

} // namespace ShortFraming
