#pragma once

#include "teleprompter/SpeechFollowHub.h"
#include "teleprompter/VoiceFollowSwitch.h"

// The speech hub behind the teleprompter window's switch.
class SpeechFollowHubSwitch final : public VoiceFollowSwitch {
public:
    explicit SpeechFollowHubSwitch(SpeechFollowHub& hub) : hub_(hub) {}

    void setWanted(bool wanted, const QStringList& words, const QString& scriptText) override
    {
        hub_.setWanted(wanted, words, scriptText);
    }
    void setListeners(Listener heard, Listener status) override
    {
        hub_.onHeard = std::move(heard);
        hub_.onStatus = std::move(status);
    }

private:
    SpeechFollowHub& hub_;
};
