#include "platform/audio/PulseConnection.h"

#include <pulse/operation.h>
#include <pulse/proplist.h>
#include <pulse/timeval.h>

std::unique_ptr<PulseConnection> PulseConnection::open(const QString& clientName, const char* threadName)
{
    std::unique_ptr<PulseConnection> connection(new PulseConnection);
    connection->mainloop_ = pa_threaded_mainloop_new();
    if (!connection->mainloop_)
        return nullptr;
    pa_threaded_mainloop_set_name(connection->mainloop_, threadName);
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, clientName.toUtf8().constData());
    connection->context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(connection->mainloop_), clientName.toUtf8().constData(), properties);
    pa_proplist_free(properties);
    if (!connection->context_)
        return nullptr;
    pa_context_set_state_callback(
        connection->context_, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->stateChanged(); }, connection.get());
    if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return nullptr;
    if (pa_threaded_mainloop_start(connection->mainloop_) < 0)
        return nullptr;
    Lock lock(*connection);
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(connection->context_);
        if (state == PA_CONTEXT_READY)
            return connection;
        if (!PA_CONTEXT_IS_GOOD(state))
            return nullptr; // the lock is released before the connection is torn down
        pa_threaded_mainloop_wait(connection->mainloop_);
    }
}

PulseConnection::~PulseConnection()
{
    if (mainloop_)
        pa_threaded_mainloop_stop(mainloop_);
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (mainloop_)
        pa_threaded_mainloop_free(mainloop_);
}

bool PulseConnection::wait(pa_operation* operation) const
{
    if (!operation)
        return false;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(mainloop_);
    pa_operation_unref(operation);
    return true;
}

bool PulseConnection::waitUntilReady(pa_stream* stream) const
{
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY)
            return true;
        if (!PA_STREAM_IS_GOOD(state))
            return false;
        pa_threaded_mainloop_wait(mainloop_);
    }
}

bool PulseConnection::waitUntil(const std::function<bool()>& done, pa_usec_t timeoutMicroseconds) const
{
    struct Deadline {
        const PulseConnection* connection;
        bool passed = false;
    } deadline{this};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
    timeval due{};
    pa_timeval_add(pa_gettimeofday(&due), timeoutMicroseconds);
    pa_time_event* timer = api->time_new(
        api, &due,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
            auto* reached = static_cast<Deadline*>(data);
            reached->passed = true;
            reached->connection->signal();
        },
        &deadline);
    bool result = done();
    while (!result && !deadline.passed) {
        pa_threaded_mainloop_wait(mainloop_);
        result = done();
    }
    api->time_free(timer);
    return result;
}

void PulseConnection::stateChanged()
{
    signal();
    if (onLost_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)))
        onLost_();
}

void PulseConnection::setOnLost(std::function<void()> onLost) { onLost_ = std::move(onLost); }

PulseClient PulseConnection::connectClient(const char* clientName, pa_context_notify_cb_t onState, void* data) const
{
    PulseClient client(pa_context_new(pa_threaded_mainloop_get_api(mainloop_), clientName));
    if (!client)
        return {};
    pa_context_set_state_callback(client.get(), onState, data);
    if (pa_context_connect(client.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return {};
    return client;
}

bool PulseConnection::isReady() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }
