#pragma once

#include <cstdint>
#include <functional>
#include <memory>

// Global button and key input, seen anywhere on the desktop whichever application has the focus.
class InputEvents {
public:
    // Keeps a monitor installed; destroying it removes the monitor.
    class Monitor {
    public:
        virtual ~Monitor() = default;
    };

    virtual ~InputEvents() = default;
    // Calls the handler on the main thread for every left or right button press (not release, wheel or
    // middle button). Nothing when the desktop cannot be watched.
    virtual std::unique_ptr<Monitor> addMouseDownMonitor(std::function<void()> handler) = 0;
    // Key presses counted since the source was made; held keys repeating count once. Wraps like any
    // unsigned counter.
    virtual std::uint32_t keyDownCount() = 0;
};
