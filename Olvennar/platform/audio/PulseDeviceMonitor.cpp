#include "platform/audio/PulseDeviceMonitor.h"

#include "platform/audio/PulseConnection.h"
#include "platform/system/Edition.h"
#include "platform/system/MainThread.h"

#include <pulse/subscribe.h>

PulseDeviceMonitor::PulseDeviceMonitor(QObject* parent) : QObject(parent), connection_(PulseConnection::open(Edition::appName(), "pulse.devices"))
{
    if (!connection_)
        return;
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
    const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
    if (pa_operation* operation = pa_context_subscribe(connection_->context(), mask, nullptr, nullptr))
        pa_operation_unref(operation);
}

PulseDeviceMonitor::~PulseDeviceMonitor()
{
    if (connection_) {
        PulseConnection::Lock lock(*connection_);
        pa_context_set_subscribe_callback(connection_->context(), nullptr, nullptr);
    }
}
