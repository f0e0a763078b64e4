#pragma once

#include <QString>

#include <array>
#include <optional>

// The outline of the camera bubble; the raw text is stored and is part of the compositor's mask keys.
enum class BubbleShape { circle, square };

namespace BubbleShapes {
inline constexpr std::array<BubbleShape, 2> allCases{BubbleShape::circle, BubbleShape::square};
inline QString rawText(BubbleShape shape) { return shape == BubbleShape::square ? QStringLiteral("Rounded") : QStringLiteral("Circle"); }
inline std::optional<BubbleShape> fromRawText(const QString& text)
{
    if (text == QLatin1String("Circle"))
        return BubbleShape::circle;
    if (text == QLatin1String("Rounded"))
        return BubbleShape::square;
    return std::nullopt;
}
} // namespace BubbleShapes
