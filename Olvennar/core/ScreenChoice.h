#pragma once

#include "core/ScreenPlace.h"
#include "takedata/CaptureDeviceInfo.h"

#include <QString>

#include <optional>
#include <vector>

// Which screen a take records and how a display is named: decisions on the listed displays alone.
namespace ScreenChoice {
// The selected display's screen; the primary (else first) one when none is selected or none matches; none
// without screens. The visible part is the desktop's own for the screen the GUI shows on.
std::optional<ScreenPlace> selected(const std::vector<ScreenDisplay>& screens, std::optional<quint32> selectedID);
// The selected display is among those listed for capture.
bool listed(const std::vector<DisplayInfo>& displays, std::optional<quint32> selectedID);
// "<screen name> — W×H", or "Display <id> — W×H" when no screen matches.
QString displayName(const DisplayInfo& display);
}
