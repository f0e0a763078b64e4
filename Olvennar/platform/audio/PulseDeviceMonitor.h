#pragma once

#include <QObject>

#include <memory>

class PulseConnection;

// Tells the GUI thread when sound sources or outputs come and go, or the defaults change.
class PulseDeviceMonitor : public QObject {
    Q_OBJECT
public:
    explicit PulseDeviceMonitor(QObject* parent = nullptr);
    ~PulseDeviceMonitor() override;
    // False when the sound server cannot be reached; the monitor then stays silent.
    bool isActive() const { return connection_ != nullptr; }

Q_SIGNALS:
    void devicesChanged();

private:
    std::unique_ptr<PulseConnection> connection_;
};
