#pragma once

#include <QString>

#include <functional>
#include <vector>

class TeleprompterModel;

// The entries of the panel's mode and position menus, rebuilt from the model each time they are shown.
// The current choice's title begins with "✓ ".
namespace PrompterMenus {

struct Entry {
    QString title; // empty: a divider
    std::function<void()> choose;
};

inline const QString checkMark = QStringLiteral("✓ ");
inline constexpr double opacityTolerance = 0.05;

std::vector<Entry> modeEntries(TeleprompterModel& model);
std::vector<Entry> positionEntries(TeleprompterModel& model);
QString modeLabel(const TeleprompterModel& model);
QString positionLabel(const TeleprompterModel& model);
// The glyphs that stand for the labels' symbols, shown before their titles.
QString modeSymbol(const TeleprompterModel& model);
QString positionSymbol(const TeleprompterModel& model);
// "Background 55%".
QString opacityTitle(double value);

inline const QString modeHelp = QStringLiteral("Follow my voice, or scroll at a fixed speed.");
inline const QString positionHelp
    = QStringLiteral("Where the prompter sits relative to the camera. Set camera spot: drag a cross onto your lens.");

} // namespace PrompterMenus
