#pragma once

#include <QString>

#include <array>
#include <optional>

// How the finished video zooms: planned from activity, only at manual marks, never, or at every click.
// The raw text is the stored setting and the "mode" of the zoom sidecar.
enum class ZoomMode { smart, manual, off, everyClick };

namespace ZoomModes {
inline constexpr std::array<ZoomMode, 4> allCases{ZoomMode::smart, ZoomMode::manual, ZoomMode::off, ZoomMode::everyClick};
inline QString rawText(ZoomMode mode)
{
    switch (mode) {
    case ZoomMode::smart: return QStringLiteral("Smart");
    case ZoomMode::manual: return QStringLiteral("Manual");
    case ZoomMode::off: return QStringLiteral("Off");
    case ZoomMode::everyClick: return QStringLiteral("Every click");
    }
    return QStringLiteral("Smart");
}
inline std::optional<ZoomMode> fromRawText(const QString& text)
{
    for (ZoomMode mode : allCases) {
        if (rawText(mode) == text)
            return mode;
    }
    return std::nullopt;
}
} // namespace ZoomModes

// A manual zoom mark set during a take with the zoom hot keys; x, y are the pointer position in capture
// fractions (origin bottom-left).
struct ZoomMark {
    double time = 0;
    bool zoomIn = true;
    double x = 0;
    double y = 0;
    friend bool operator==(const ZoomMark&, const ZoomMark&) = default;
};
