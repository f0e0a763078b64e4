#pragma once

#include "teleprompter/TeleprompterScript.h"

#include <QRect>
#include <QString>

// The teleprompter as a long-form handoff drives it: its model's text, style, mode and restart, and the
// floating panel. Supplied by the teleprompter's owner; without one a handoff's script is only read.
// Main thread only.
class HandoffPrompter {
public:
    virtual ~HandoffPrompter() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
    virtual void setStyle(TeleprompterScript::Style style) = 0;
    // Back to the script's start.
    virtual void restart() = 0;
    // Switches the model to following the voice (its change reaction runs).
    virtual void setFollowMode() = 0;
    virtual bool isPanelOpen() const = 0;
    // Shows the panel on the screen with that frame; whether the panel exists afterwards.
    virtual bool show(const QRect& screenFrame) = 0;
    virtual void hide() = 0;
    // Starts or stops voice follow to match the model.
    virtual void syncSpeech() = 0;
};
