#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// What the teleprompter window asks of speech recognition: on with the script's words and text, or off, and
// where heard text and status lines go (both delivered on the main thread).
class VoiceFollowSwitch {
public:
    using Listener = std::function<void(const QString&)>;
    virtual ~VoiceFollowSwitch() = default;
    virtual void setWanted(bool wanted, const QStringList& words, const QString& scriptText) = 0;
    virtual void setListeners(Listener heard, Listener status) = 0;
};
