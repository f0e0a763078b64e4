#pragma once

#include <QString>

#include <array>
#include <optional>
#include <vector>

struct CaptureDeviceInfo;

// Height cap of the screen recording.
enum class ScreenQuality { p1080, p1440, native };
// Height cap of the camera-only recorder.
enum class CameraQuality { best, p1080, p720 };

namespace ScreenQualities {
inline constexpr std::array<ScreenQuality, 3> allCases{ScreenQuality::p1080, ScreenQuality::p1440, ScreenQuality::native};
QString rawText(ScreenQuality quality); // "1080p", "1440p", "Native"
std::optional<ScreenQuality> fromRawText(const QString& text);
std::optional<int> heightCap(ScreenQuality quality);
}

namespace CameraQualities {
inline constexpr std::array<CameraQuality, 3> allCases{CameraQuality::best, CameraQuality::p1080, CameraQuality::p720};
QString rawText(CameraQuality quality); // "Best", "1080p", "720p"
std::optional<CameraQuality> fromRawText(const QString& text);
std::optional<int> heightCap(CameraQuality quality);
// The qualities a camera can film at 30 fps in landscape; always starts with `best`. No device: [best].
std::vector<CameraQuality> available(const CaptureDeviceInfo* device);
}
