#pragma once

#include <QString>

#include <array>
#include <optional>

// Whether the studio look moves between layout states during a take or keeps one.
enum class LayoutMode { dynamic, fixed };

namespace LayoutModes {
inline constexpr std::array<LayoutMode, 2> allCases{LayoutMode::dynamic, LayoutMode::fixed};
inline QString rawText(LayoutMode mode) { return mode == LayoutMode::fixed ? QStringLiteral("Fixed") : QStringLiteral("Dynamic"); }
inline std::optional<LayoutMode> fromRawText(const QString& text)
{
    if (text == QLatin1String("Dynamic"))
        return LayoutMode::dynamic;
    if (text == QLatin1String("Fixed"))
        return LayoutMode::fixed;
    return std::nullopt;
}
} // namespace LayoutModes
