#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// Keys grabbed on the root window, so they work whatever application is in front.
class GlobalKeyGrabber {
public:
    // X modifier bits as the studio uses them.
    static constexpr uint16_t control = 0x0004; // ControlMask
    static constexpr uint16_t alt = 0x0008;     // Mod1Mask
    static constexpr uint16_t super = 0x0040;   // Mod4Mask

    virtual ~GlobalKeyGrabber() = default;
    // Nothing on success; a sentence saying why when the grab is refused (e.g. another client holds it).
    virtual std::optional<QString> grab(uint32_t keySym, uint16_t modifiers) = 0;

    // A grabbed key went down (lock modifiers stripped). Called on the GUI thread.
    std::function<void(uint32_t keySym, uint16_t modifiers)> onPressed;
};
