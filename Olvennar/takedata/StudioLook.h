#pragma once

#include <QString>

#include <array>
#include <optional>

// The look settings of the studio render and its four layout states. Raw texts are stored settings and
// sidecar values; they never change.
enum class LayoutState { face, split, screen, focus };
enum class FaceLayout { bottomRight, tallLeft };
enum class ScreenLayout { studio, classic };
enum class StudioBackground { linen, blushMesh, clay, sunlitStudio, dotPaper, silkWaves, darkRoom };

namespace StudioLook {

inline constexpr std::array<LayoutState, 4> layoutStates{LayoutState::face, LayoutState::split, LayoutState::screen, LayoutState::focus};
inline constexpr std::array<FaceLayout, 2> faceLayouts{FaceLayout::bottomRight, FaceLayout::tallLeft};
inline constexpr std::array<ScreenLayout, 2> screenLayouts{ScreenLayout::studio, ScreenLayout::classic};
inline constexpr std::array<StudioBackground, 7> backgrounds{StudioBackground::linen, StudioBackground::blushMesh,
    StudioBackground::clay, StudioBackground::sunlitStudio, StudioBackground::dotPaper, StudioBackground::silkWaves,
    StudioBackground::darkRoom};

inline QString rawText(LayoutState state)
{
    switch (state) {
    case LayoutState::face: return QStringLiteral("FACE");
    case LayoutState::split: return QStringLiteral("SPLIT");
    case LayoutState::screen: return QStringLiteral("SCREEN");
    case LayoutState::focus: return QStringLiteral("FOCUS");
    }
    return {};
}
inline QString rawText(FaceLayout layout)
{
    return layout == FaceLayout::bottomRight ? QStringLiteral("Bottom-right") : QStringLiteral("Tall left");
}
inline QString rawText(ScreenLayout layout)
{
    return layout == ScreenLayout::classic ? QStringLiteral("Classic") : QStringLiteral("Studio");
}
inline QString rawText(StudioBackground background)
{
    switch (background) {
    case StudioBackground::linen: return QStringLiteral("Linen");
    case StudioBackground::blushMesh: return QStringLiteral("Blush mesh");
    case StudioBackground::clay: return QStringLiteral("Clay");
    case StudioBackground::sunlitStudio: return QStringLiteral("Sunlit studio");
    case StudioBackground::dotPaper: return QStringLiteral("Dot paper");
    case StudioBackground::silkWaves: return QStringLiteral("Silk waves");
    case StudioBackground::darkRoom: return QStringLiteral("Dark room");
    }
    return {};
}

// Exact, case-sensitive raw texts only.
template <typename Enum, size_t N>
std::optional<Enum> fromRawText(const std::array<Enum, N>& cases, const QString& text)
{
    for (Enum value : cases) {
        if (rawText(value) == text)
            return value;
    }
    return std::nullopt;
}
inline std::optional<LayoutState> layoutStateFromRawText(const QString& text) { return fromRawText(layoutStates, text); }
inline std::optional<FaceLayout> faceLayoutFromRawText(const QString& text) { return fromRawText(faceLayouts, text); }
inline std::optional<ScreenLayout> screenLayoutFromRawText(const QString& text) { return fromRawText(screenLayouts, text); }
inline std::optional<StudioBackground> backgroundFromRawText(const QString& text) { return fromRawText(backgrounds, text); }

} // namespace StudioLook
