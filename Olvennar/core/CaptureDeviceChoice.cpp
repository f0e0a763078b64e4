#include "core/CaptureDeviceChoice.h"

#include <algorithm>

namespace CaptureDeviceChoice {

namespace {

const CaptureDeviceInfo* withID(const Devices& devices, const QString& id)
{
    const auto match = std::find_if(devices.begin(), devices.end(), [&id](const CaptureDeviceInfo& device) { return device.uniqueID == id; });
    return match == devices.end() ? nullptr : &*match;
}

} // namespace

bool listed(const Devices& devices, const QString& id) { return withID(devices, id) != nullptr; }

const CaptureDeviceInfo* selectedOrFirst(const Devices& devices, const std::optional<QString>& id)
{
    if (const CaptureDeviceInfo* device = id ? withID(devices, *id) : nullptr)
        return device;
    return devices.empty() ? nullptr : &devices.front();
}

std::optional<QString> settled(const Devices& devices, const std::optional<QString>& current)
{
    if (current && listed(devices, *current))
        return current;
    return devices.empty() ? std::nullopt : std::optional<QString>(devices.front().uniqueID);
}

std::optional<CaptureDeviceInfo> firstNamed(const Devices& devices, const QString& text)
{
    for (const CaptureDeviceInfo& device : devices) {
        if (device.localizedName.contains(text, Qt::CaseInsensitive))
            return device;
    }
    return std::nullopt;
}

std::optional<QString> nameOf(const Devices& devices, const std::optional<QString>& id)
{
    const CaptureDeviceInfo* device = id ? withID(devices, *id) : nullptr;
    return device ? std::optional<QString>(device->localizedName) : std::nullopt;
}

bool ranksBelowBest(const Devices& devices, const std::optional<QString>& id)
{
    const CaptureDeviceInfo* selected = id ? withID(devices, *id) : nullptr;
    if (!selected)
        return false;
    const auto best = std::max_element(devices.begin(), devices.end(), [](const CaptureDeviceInfo& a, const CaptureDeviceInfo& b) { return a.rank < b.rank; });
    return selected->rank < best->rank;
}

} // namespace CaptureDeviceChoice
