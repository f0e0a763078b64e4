#include "capture/DeviceDiscovery.h"

#include "platform/audio/AudioDeviceCatalog.h"
#include "platform/video/VideoDeviceCatalog.h"

#include <QSet>

#include <algorithm>

namespace DeviceDiscovery {

Transport transport(const QMap<QString, QString>& properties)
{
    const QString bus = properties.value(QStringLiteral("device.bus")).toLower();
    if (bus == QLatin1String("bluetooth") || properties.value(QStringLiteral("device.api")).toLower() == QLatin1String("bluez"))
        return Transport::bluetooth;
    if (bus == QLatin1String("usb") || bus == QLatin1String("firewire") || bus == QLatin1String("ieee1394") || bus == QLatin1String("thunderbolt"))
        return Transport::external;
    if (properties.value(QStringLiteral("device.form_factor")).toLower() == QLatin1String("internal") || bus == QLatin1String("pci")
        || bus == QLatin1String("platform"))
        return Transport::builtIn;
    return Transport::other;
}

int microphoneRank(const QMap<QString, QString>& properties)
{
    switch (transport(properties)) {
    case Transport::bluetooth:
        return 1;
    case Transport::builtIn:
        return 3;
    case Transport::external:
        return 4;
    case Transport::other:
        break;
    }
    return 2;
}

int microphoneRank(const AudioDeviceInfo& device) { return microphoneRank(device.properties); }

std::vector<AudioDeviceInfo> microphones(AudioDeviceCatalog& catalog)
{
    std::vector<AudioDeviceInfo> result;
    const auto state = catalog.query();
    if (!state)
        return result;
    for (const AudioDeviceInfo& source : state->sources) {
        if (!source.isMonitor || source.name == state->defaultSource)
            result.push_back(source);
    }
    return result;
}

std::optional<AudioDeviceInfo> bestMicrophone(const std::vector<AudioDeviceInfo>& microphones)
{
    if (microphones.empty())
        return std::nullopt;
    int best = 0;
    for (const AudioDeviceInfo& microphone : microphones)
        best = std::max(best, microphoneRank(microphone));
    const AudioDeviceInfo* first = nullptr;
    for (const AudioDeviceInfo& microphone : microphones) {
        if (microphoneRank(microphone) != best)
            continue;
        if (transport(microphone.properties) == Transport::builtIn)
            return microphone;
        if (!first)
            first = &microphone;
    }
    return *first;
}

std::optional<AudioDeviceInfo> bestMicrophone(AudioDeviceCatalog& catalog) { return bestMicrophone(microphones(catalog)); }

std::vector<VideoDeviceInfo> videoDevices(VideoDeviceCatalog& catalog)
{
    std::vector<VideoDeviceInfo> result;
    QSet<QString> seen;
    for (VideoDeviceInfo& device : catalog.devices()) {
        if (seen.contains(device.uniqueID))
            continue;
        seen.insert(device.uniqueID);
        result.push_back(std::move(device));
    }
    return result;
}

QStringList defaultPhoneScreenPatterns() { return {QStringLiteral("iPhone"), QStringLiteral("phone"), QStringLiteral("scrcpy")}; }

bool isPhoneScreen(const VideoDeviceInfo& device, const QStringList& patterns)
{
    return std::any_of(patterns.begin(), patterns.end(),
        [&](const QString& pattern) { return !pattern.isEmpty() && device.name.contains(pattern, Qt::CaseInsensitive); });
}

std::vector<VideoDeviceInfo> cameras(VideoDeviceCatalog& catalog, const QStringList& patterns)
{
    std::vector<VideoDeviceInfo> result;
    for (VideoDeviceInfo& device : videoDevices(catalog)) {
        if (!isPhoneScreen(device, patterns))
            result.push_back(std::move(device));
    }
    return result;
}

std::vector<VideoDeviceInfo> phoneScreens(VideoDeviceCatalog& catalog, const QStringList& patterns)
{
    std::vector<VideoDeviceInfo> result;
    for (VideoDeviceInfo& device : videoDevices(catalog)) {
        if (isPhoneScreen(device, patterns))
            result.push_back(std::move(device));
    }
    return result;
}

} // namespace DeviceDiscovery
