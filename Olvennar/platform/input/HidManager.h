#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

// What a button device says about itself.
struct HidDeviceInfo {
    int vendorID = 0;
    int productID = 0;
    QString product;
    QString transport;        // "USB", "Bluetooth", "internal", "I2C", "SPI", "virtual", ...
    bool fullKeyboard = false; // reports every letter key: a typing keyboard, never a clicker
};

// One key or button change: value 1 press, 0 release (autorepeat never arrives here).
struct HidValue {
    int usagePage = 0; // 7 keyboard, 9 button, 12 consumer
    int value = 0;
    HidDeviceInfo device;
};

// An open set of input devices: the one learned clicker (matched by vendor and product, every node it
// has), or while learning every keyboard-like device. Callbacks arrive on the GUI thread.
class HidManager {
public:
    virtual ~HidManager() = default;
    // 0 on success, else a negative errno: -ENODEV nothing matched, -EACCES no access, -EBUSY another
    // client holds the device exclusively (only when seizing).
    virtual int open(bool seize) = 0;

    std::function<void(const HidValue&)> onValue;
    std::function<void(const HidDeviceInfo&)> onDeviceMatched;
    std::function<void(const HidDeviceInfo&)> onDeviceRemoved;
};

class HidManagerFactory {
public:
    virtual ~HidManagerFactory() = default;
    // With a (vendor, product) pair: that device only. Without: every keyboard and consumer-control device.
    virtual std::unique_ptr<HidManager> create(std::optional<std::pair<int, int>> matching) = 0;
};
