#include "core/ScreenChoice.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace ScreenChoice {

std::optional<ScreenPlace> selected(const std::vector<ScreenDisplay>& screens, std::optional<quint32> selectedID)
{
    if (screens.empty())
        return std::nullopt;
    auto chosen = selectedID ? std::find_if(screens.begin(), screens.end(), [&](const ScreenDisplay& d) { return d.id == *selectedID; }) : screens.end();
    if (chosen == screens.end())
        chosen = std::find_if(screens.begin(), screens.end(), [](const ScreenDisplay& d) { return d.primary; });
    if (chosen == screens.end())
        chosen = screens.begin();
    ScreenPlace place{*chosen, chosen->frame};
    // The desktop's panels and docks are known only for the screen the GUI shows on.
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry() == chosen->frame)
            place.visibleFrame = screen->availableGeometry();
    }
    return place;
}

bool listed(const std::vector<DisplayInfo>& displays, std::optional<quint32> selectedID)
{
    return selectedID && std::any_of(displays.begin(), displays.end(), [&](const DisplayInfo& d) { return d.displayID == *selectedID; });
}

QString displayName(const DisplayInfo& display)
{
    const QString size = QString::number(display.width) + QStringLiteral("×") + QString::number(display.height);
    if (!display.screenName.isEmpty())
        return display.screenName + QStringLiteral(" — ") + size;
    return QStringLiteral("Display ") + QString::number(display.displayID) + QStringLiteral(" — ") + size;
}

} // namespace ScreenChoice
