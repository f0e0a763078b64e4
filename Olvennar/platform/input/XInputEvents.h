#pragma once

#include "platform/input/InputEvents.h"

#include <QObject>

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
class XcbConnection;

// XInput 2 raw button and key presses on the root window of its own X connection, read on the main thread
// as they arrive. Raw events reach us whichever window has the focus or holds a grab.
class XInputEvents final : public QObject, public InputEvents {
public:
    // Nothing when the display cannot be reached or offers no XInput 2.2.
    static std::unique_ptr<XInputEvents> open(const char* displayName = nullptr);
    ~XInputEvents() override;

    std::unique_ptr<Monitor> addMouseDownMonitor(std::function<void()> handler) override;
    std::uint32_t keyDownCount() override;

private:
    class Subscription;

    XInputEvents(std::unique_ptr<XcbConnection> connection, std::uint8_t opcode);
    void readEvents();
    void removeHandler(int id);

    std::unique_ptr<XcbConnection> connection_;
    std::uint8_t opcode_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, std::function<void()>> handlers_;
    int nextHandlerId_ = 1;
    std::uint32_t keyCount_ = 0;
    std::bitset<256> heldKeys_;
    bool reading_ = false;
};
