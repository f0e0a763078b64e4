#pragma once

#include "platform/audio/AudioDeviceCatalog.h"

// Serves whatever server state the test sets; `reachable` false plays an absent sound server.
class FakeAudioDeviceCatalog final : public AudioDeviceCatalog {
public:
    AudioServerState state;
    bool reachable = true;

    std::optional<AudioServerState> query() override
    {
        if (!reachable)
            return std::nullopt;
        return state;
    }

    static AudioDeviceInfo source(const QString& name, QMap<QString, QString> properties, bool isMonitor = false)
    {
        AudioDeviceInfo device;
        device.name = name;
        device.description = name;
        device.isMonitor = isMonitor;
        device.properties = std::move(properties);
        return device;
    }
};
