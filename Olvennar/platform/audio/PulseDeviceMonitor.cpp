#include "platform/audio/PulseDeviceMonitor.h"

#include "platform/audio/PulseConnection.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/system/MainThread.h"

#include <pulse/subscribe.h>

PulseDeviceMonitor::PulseDeviceMonitor(QObject* parent) : QObject(parent)
{
    reconnecting_.setInterval(reconnectMilliseconds);
    connect(&reconnecting_, &QTimer::timeout, this, &PulseDeviceMonitor::reconnect);
    if (!watch())
        reconnecting_.start();
}

PulseDeviceMonitor::~PulseDeviceMonitor() { closeConnection(); }

bool PulseDeviceMonitor::watch()
{
    connection_ = PulseConnection::open(Edition::appName(), "pulse.devices");
    if (!connection_)
        return false;
    PulseConnection::Lock lock(*connection_);
    pa_context_set_subscribe_callback(
        connection_->context(),
        [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
            const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            // Source and sink volume changes arrive as "change" events; only arrivals, removals and new defaults matter.
            if (facility == PA_SUBSCRIPTION_EVENT_SERVER || kind != PA_SUBSCRIPTION_EVENT_CHANGE)
                runOnMainThread(static_cast<PulseDeviceMonitor*>(self), [](PulseDeviceMonitor* monitor) { Q_EMIT monitor->devicesChanged(); });
        },
        this);
    connection_->setOnLost([this] { runOnMainThread(this, [](PulseDeviceMonitor* monitor) { monitor->serverLost(); }); });
    const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
    if (pa_operation* operation = pa_context_subscribe(connection_->context(), mask, nullptr, nullptr))
        pa_operation_unref(operation);
    return true;
}

void PulseDeviceMonitor::serverLost()
{
    if (!connection_)
        return;
    {
        // A late word from a connection already replaced leaves the new one be.
        PulseConnection::Lock lock(*connection_);
        if (connection_->isReady())
            return;
    }
    Diagnostics::log(QStringLiteral("sound devices: the sound server went away; looking for it every %1 ms").arg(reconnectMilliseconds));
    closeConnection();
    reconnecting_.start();
}

void PulseDeviceMonitor::reconnect()
{
    // Quiet while the server stays away: only its return is logged.
    if (!watch())
        return;
    reconnecting_.stop();
    Diagnostics::log(QStringLiteral("sound devices: the sound server answers again"));
    // Whatever the server has now may differ from what was listed before it went.
    Q_EMIT devicesChanged();
}

void PulseDeviceMonitor::closeConnection()
{
    if (!connection_)
        return;
    {
        PulseConnection::Lock lock(*connection_);
        pa_context_set_subscribe_callback(connection_->context(), nullptr, nullptr);
        connection_->setOnLost({});
    }
    connection_.reset();
}
