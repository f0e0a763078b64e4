#pragma once

#include <functional>

// The "Check framing" window as the studio drives it: it stays when closed, so its owner decides when it goes.
class FramingCheckDisplay {
public:
    virtual ~FramingCheckDisplay() = default;
    // Called once per showing when the user closes it.
    virtual void setOnClose(std::function<void()> reaction) = 0;
    // In the middle of the screen it is on (the primary one before it is shown).
    virtual void centreOnScreen() = 0;
    // Shown above the other windows, with the focus.
    virtual void bringForward() = 0;
    virtual bool isShown() const = 0;
};
