#pragma once

#include "platform/audio/AudioDeviceCatalog.h"

class PulseConnection;

// Sources and defaults from the PulseAudio server (also PipeWire's pulse server).
class PulseAudioCatalog final : public AudioDeviceCatalog {
public:
    std::optional<AudioServerState> query() override;
    // With the connection's lock held.
    static std::optional<AudioServerState> query(const PulseConnection& connection);
};
