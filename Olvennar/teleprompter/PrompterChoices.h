#pragma once

#include <QString>

#include <array>
#include <optional>

// The teleprompter's three choice enumerations. Raw texts equal the case names and are the stored values;
// titles are what pickers and menus show.

// How the script moves: along the speaker's voice, or at a fixed speed.
enum class PrompterMode { follow, auto_ };
inline constexpr std::array<PrompterMode, 2> allPrompterModes{PrompterMode::follow, PrompterMode::auto_};

// Where the panel sits.
enum class PrompterPosition { topCenter, left, right, custom, camera };
inline constexpr std::array<PrompterPosition, 5> allPrompterPositions{
    PrompterPosition::topCenter, PrompterPosition::left, PrompterPosition::right, PrompterPosition::custom,
    PrompterPosition::camera};

// On which side of the marked camera spot the panel sits in camera position.
enum class CameraSide { under, left, right };
inline constexpr std::array<CameraSide, 3> allCameraSides{CameraSide::under, CameraSide::left, CameraSide::right};

namespace PrompterChoices {

QString rawText(PrompterMode mode);
QString title(PrompterMode mode);
// Exactly "auto" reads as auto; anything else is follow.
PrompterMode modeFromStored(const QString& text);

QString rawText(PrompterPosition position);
QString title(PrompterPosition position);
std::optional<PrompterPosition> positionFromRawText(const QString& text);

QString rawText(CameraSide side);
// "Under the camera", "Left of the camera", "Right of the camera".
QString label(CameraSide side);
std::optional<CameraSide> sideFromRawText(const QString& text);

} // namespace PrompterChoices
