#pragma once

// What the hot keys and the remote button's long press reach of the teleprompter: box steps, and whether
// its panel is on screen. The teleprompter window implements it; absent, the keys do nothing.
class TeleprompterStepper {
public:
    virtual ~TeleprompterStepper() = default;
    virtual void stepBox(int delta) = 0;
    virtual bool isPanelShown() const = 0;
};
