#pragma once

#include "platform/audio/SoundPlayer.h"

#include <map>
#include <memory>
#include <vector>

class DispatchQueue;

// Plays the feedback sounds on the default output through a short-lived PulseAudio stream on its own
// queue, so the GUI thread never waits for the sound server. Failures are silent: feedback is optional.
class PulseSoundPlayer final : public SoundPlayer {
public:
    PulseSoundPlayer();
    ~PulseSoundPlayer() override;
    void play(const QString& name) override;

private:
    std::map<QString, std::shared_ptr<const std::vector<float>>> sounds_;
    std::unique_ptr<DispatchQueue> queue_;
};
