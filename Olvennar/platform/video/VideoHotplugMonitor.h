#pragma once

#include "platform/video/UdevHandles.h"

#include <QObject>

class QSocketNotifier;

// Tells the GUI thread when a video4linux node is added or removed.
class VideoHotplugMonitor : public QObject {
    Q_OBJECT
public:
    explicit VideoHotplugMonitor(QObject* parent = nullptr);
    ~VideoHotplugMonitor() override;
    bool isActive() const { return monitor_ != nullptr; }

Q_SIGNALS:
    void devicesChanged();

private:
    void receive();

    UdevPtr context_;
    UdevMonitorPtr monitor_;
    QSocketNotifier* notifier_ = nullptr;
};
