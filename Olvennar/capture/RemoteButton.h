#pragma once

#include "platform/input/HidManager.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class AccessProbe;
class Scheduler;
class Settings;

// One learned clicker (presentation remote, shutter button, media key) as the studio's remote control.
// Reports presses, long presses (held 0.6 s) and status changes to its owner; the reactions belong to the
// controller. Everything runs on the GUI thread; no lock is used.
class RemoteButton : public QObject {
    Q_OBJECT

public:
    struct Device {
        int vendorID = 0;
        int productID = 0;
        QString name;
        friend bool operator==(const Device&, const Device&) = default;
    };

    struct Status {
        // notConnected: a device is learned and access is there, but it is not plugged in or paired now.
        // noDevices: learning was asked for on a machine with no input device at all, which no group would fix.
        enum class Kind { ready, notSet, learning, needsPermission, notConnected, noDevices };
        Kind kind = Kind::notSet;
        Device device; // ready and notConnected only
        static Status ready(Device d) { return {Kind::ready, std::move(d)}; }
        static Status notConnected(Device d) { return {Kind::notConnected, std::move(d)}; }
        static Status of(Kind k) { return {k, {}}; }
        friend bool operator==(const Status&, const Status&) = default;
    };

    struct HoldDetector {
        bool holdSupported = false;
        std::optional<double> downAt;
    };

    static constexpr const char* vendorKey = "remoteButtonVendorID";
    static constexpr const char* productKey = "remoteButtonProductID";
    static constexpr const char* nameKey = "remoteButtonName";
    static constexpr double debounceSeconds = 0.15;
    static constexpr double holdSeconds = 0.6;
    static constexpr double matchGraceSeconds = 3.0;

    RemoteButton(Settings& settings, HidManagerFactory& hid, AccessProbe& access, Scheduler& scheduler, QObject* parent = nullptr);
    ~RemoteButton() override;

    std::function<void()> onPress;
    std::function<void()> onLongPress;
    std::function<void(const Status&)> onStatusChange;

    const Status& status() const { return status_; }
    bool isLearning() const { return isLearning_; }
    // The main window's "Cancel" clears learning before it re-arms.
    void setLearning(bool learning) { isLearning_ = learning; }

    void arm();
    void startLearning();
    void forget();
    std::optional<Device> learned();
    void store(const Device& device);

    // Device callbacks (public so a fake manager can drive them the same way).
    void deviceAppeared(const QString& name);
    void handle(const HidValue& value);

private:
    void setStatus(const Status& status);
    void closeManager();
    int start(std::optional<std::pair<int, int>> matching, bool seize);

    Settings& settings_;
    HidManagerFactory& hid_;
    AccessProbe& access_;
    Scheduler& scheduler_;
    Status status_;
    std::unique_ptr<HidManager> manager_;
    double lastPress_ = -1e300;
    bool isLearning_ = false;
    HoldDetector hold_;
    int holdGeneration_ = 0;
    double armedAt_ = -1e300;
};
