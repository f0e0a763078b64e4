#include "platform/video/VideoHotplugMonitor.h"

#include <QSocketNotifier>

#include <cstring>

VideoHotplugMonitor::VideoHotplugMonitor(QObject* parent) : QObject(parent), context_(udev_new())
{
    if (!context_)
        return;
    UdevMonitorPtr monitor(udev_monitor_new_from_netlink(context_.get(), "udev"));
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "video4linux", nullptr) < 0
        || udev_monitor_enable_receiving(monitor.get()) < 0)
        return;
    monitor_ = std::move(monitor);
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &VideoHotplugMonitor::receive);
}

VideoHotplugMonitor::~VideoHotplugMonitor() = default;

void VideoHotplugMonitor::receive()
{
    bool changed = false;
    while (UdevDevicePtr device{udev_monitor_receive_device(monitor_.get())}) {
        const char* action = udev_device_get_action(device.get());
        if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
            changed = true;
    }
    if (changed)
        Q_EMIT devicesChanged();
}
