#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

class PulseConnection;

// Tells the GUI thread when sound sources or outputs come and go, or the defaults change. A sound server
// that goes away (or is not there yet) is looked for again every second; once it answers, the watch goes
// on and the devices count as changed. Lives and is called on the GUI thread.
class PulseDeviceMonitor : public QObject {
    Q_OBJECT
public:
    explicit PulseDeviceMonitor(QObject* parent = nullptr);
    ~PulseDeviceMonitor() override;
    // False while the sound server cannot be reached.
    bool isActive() const { return connection_ != nullptr; }

    static constexpr int reconnectMilliseconds = 1000;

Q_SIGNALS:
    void devicesChanged();

private:
    // Connects and subscribes; false when the server does not answer.
    bool watch();
    void serverLost();
    void reconnect();
    void closeConnection();

    std::unique_ptr<PulseConnection> connection_;
    QTimer reconnecting_;
};
