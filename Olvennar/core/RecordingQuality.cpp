#include "core/RecordingQuality.h"

#include "takedata/CaptureDeviceInfo.h"

#include <algorithm>
#include <set>

namespace ScreenQualities {

QString rawText(ScreenQuality quality)
{
    switch (quality) {
    case ScreenQuality::p1080: return QStringLiteral("1080p");
    case ScreenQuality::p1440: return QStringLiteral("1440p");
    case ScreenQuality::native: return QStringLiteral("Native");
    }
    return QStringLiteral("Native");
}

std::optional<ScreenQuality> fromRawText(const QString& text)
{
    for (ScreenQuality quality : allCases) {
        if (rawText(quality) == text)
            return quality;
    }
    return std::nullopt;
}

std::optional<int> heightCap(ScreenQuality quality)
{
    switch (quality) {
    case ScreenQuality::p1080: return 1080;
    case ScreenQuality::p1440: return 1440;
    case ScreenQuality::native: return std::nullopt;
    }
    return std::nullopt;
}

} // namespace ScreenQualities

namespace CameraQualities {

QString rawText(CameraQuality quality)
{
    switch (quality) {
    case CameraQuality::best: return QStringLiteral("Best");
    case CameraQuality::p1080: return QStringLiteral("1080p");
    case CameraQuality::p720: return QStringLiteral("720p");
    }
    return QStringLiteral("Best");
}

std::optional<CameraQuality> fromRawText(const QString& text)
{
    for (CameraQuality quality : allCases) {
        if (rawText(quality) == text)
            return quality;
    }
    return std::nullopt;
}

std::optional<int> heightCap(CameraQuality quality)
{
    switch (quality) {
    case CameraQuality::best: return std::nullopt;
    case CameraQuality::p1080: return 1080;
    case CameraQuality::p720: return 720;
    }
    return std::nullopt;
}

std::vector<CameraQuality> available(const CaptureDeviceInfo* device)
{
    if (!device)
        return {CameraQuality::best};
    std::set<int> heights;
    for (const CaptureDeviceInfo::Format& format : device->formats) {
        // The first range that covers 30 fps decides for the whole format.
        const auto covering = std::find_if(format.frameRateRanges.begin(), format.frameRateRanges.end(),
            [](const CaptureDeviceInfo::FrameRateRange& range) { return range.minimum <= 30.5 && range.maximum >= 29.5; });
        if (covering == format.frameRateRanges.end())
            continue;
        if (format.width <= 1920 && format.height <= format.width)
            heights.insert(format.height);
    }
    const int maxHeight = heights.empty() ? 0 : *heights.rbegin();
    std::vector<CameraQuality> result{CameraQuality::best};
    // A cap equal to the largest format is what "Best" already gives.
    if (heights.count(1080) && maxHeight > 1080)
        result.push_back(CameraQuality::p1080);
    if (heights.count(720) && maxHeight > 720)
        result.push_back(CameraQuality::p720);
    return result;
}

} // namespace CameraQualities
