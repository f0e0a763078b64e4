#pragma once

#include "teleprompter/VoiceFollowSwitch.h"

#include <optional>

// Records what the teleprompter asks of speech recognition; `heard` and `status` play the hub's callbacks.
class FakeVoiceFollowSwitch final : public VoiceFollowSwitch {
public:
    struct Wish {
        bool wanted = false;
        QStringList words;
        QString scriptText;
    };

    void setWanted(bool wanted, const QStringList& words, const QString& scriptText) override
    {
        last = Wish{wanted, words, scriptText};
        ++wishes;
    }
    void setListeners(Listener heardListener, Listener statusListener) override
    {
        heard = std::move(heardListener);
        status = std::move(statusListener);
    }

    std::optional<Wish> last;
    int wishes = 0;
    Listener heard;
    Listener status;
};
