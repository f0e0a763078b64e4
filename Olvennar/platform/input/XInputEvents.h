#pragma once

#include "platform/input/InputEvents.h"

#include <QObject>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
class XcbConnection;
struct _XCBKeySymbols;

// XInput 2 raw button and key presses on the root window of its own X connection, read on the main thread
// as they arrive. Raw events reach us whichever window has the focus or holds a grab.
class XInputEvents final : public QObject, public InputEvents {
public:
    // Nothing when the display cannot be reached or offers no XInput 2.2.
    static std::unique_ptr<XInputEvents> open(const char* displayName = nullptr);
    ~XInputEvents() override;

    std::unique_ptr<Monitor> addMouseDownMonitor(std::function<void()> handler) override;
    std::uint32_t keyDownCount() override;
    // Whether a key (its unshifted keysym) pressed with these modifiers held (X masks, lock keys left out) is
    // one of the studio's hot keys. Hot-key presses, and the modifier presses that made them, are not typing:
    // they are never counted. A modifier press is counted once a key that is not a hot key follows it, or
    // when it is released alone.
    void setHotKeyFilter(std::function<bool(std::uint32_t keySym, std::uint16_t modifiers)> isHotKey);

private:
    class Subscription;

    XInputEvents(std::unique_ptr<XcbConnection> connection, std::uint8_t opcode);
    void readEvents();
    void removeHandler(int id);
    void keyPressed(std::uint8_t code);
    void keyReleased(std::uint8_t code);
    std::uint16_t heldModifiers() const;
    struct KeySymbolsFree {
        void operator()(_XCBKeySymbols* symbols) const;
    };

    std::unique_ptr<XcbConnection> connection_;
    std::uint8_t opcode_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, std::function<void()>> handlers_;
    int nextHandlerId_ = 1;
    std::uint32_t keyCount_ = 0;
    std::bitset<256> heldKeys_;
    // The X modifier bit each keycode sets (0 for other keys), read once from the server's modifier map.
    std::array<std::uint16_t, 256> modifierOfKey_{};
    std::unique_ptr<_XCBKeySymbols, KeySymbolsFree> symbols_;
    std::function<bool(std::uint32_t, std::uint16_t)> isHotKey_;
    // Modifier presses not yet known to be typing or part of a hot key.
    std::uint32_t pendingModifiers_ = 0;
    bool reading_ = false;
};
