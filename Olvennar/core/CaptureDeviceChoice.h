#pragma once

#include "takedata/CaptureDeviceInfo.h"

#include <QString>

#include <optional>
#include <vector>

// Which of the listed capture devices the studio uses: the rules the device lists, their selections and the
// microphone hints share. Pure functions of the lists.
namespace CaptureDeviceChoice {

using Devices = std::vector<CaptureDeviceInfo>;

bool listed(const Devices& devices, const QString& id);
// The device with the id, else the first listed; none for an empty list.
const CaptureDeviceInfo* selectedOrFirst(const Devices& devices, const std::optional<QString>& id);
// A selection still listed stays; otherwise the first listed, or none.
std::optional<QString> settled(const Devices& devices, const std::optional<QString>& current);
// The first device whose name contains the text, in any letter case.
std::optional<CaptureDeviceInfo> firstNamed(const Devices& devices, const QString& text);
std::optional<QString> nameOf(const Devices& devices, const std::optional<QString>& id);
// The selected device is listed and ranks below the best listed one.
bool ranksBelowBest(const Devices& devices, const std::optional<QString>& id);

} // namespace CaptureDeviceChoice
