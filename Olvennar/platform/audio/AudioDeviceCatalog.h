#pragma once

#include "platform/audio/AudioDeviceInfo.h"

#include <optional>

// Lists the sound sources; nothing when the sound server cannot be reached.
class AudioDeviceCatalog {
public:
    virtual ~AudioDeviceCatalog() = default;
    virtual std::optional<AudioServerState> query() = 0;
};
