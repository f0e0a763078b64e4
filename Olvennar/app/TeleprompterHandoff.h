#pragma once

#include "takes/HandoffPrompter.h"

class TeleprompterWindow;

// The studio's teleprompter as a long-form handoff drives it: the window's model and its floating panel.
// Main thread only.
class TeleprompterHandoff final : public HandoffPrompter {
public:
    explicit TeleprompterHandoff(TeleprompterWindow& window) : window_(window) {}

    QString text() const override;
    void setText(const QString& text) override;
    void setStyle(TeleprompterScript::Style style) override;
    void restart() override;
    void setFollowMode() override;
    bool isPanelOpen() const override;
    bool show(const QRect& screenFrame) override;
    void hide() override;
    void syncSpeech() override;

private:
    TeleprompterWindow& window_;
};
