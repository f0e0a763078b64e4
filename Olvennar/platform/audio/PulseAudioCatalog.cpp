#include "platform/audio/PulseAudioCatalog.h"

#include "platform/audio/PulseConnection.h"
#include "platform/system/Edition.h"

#include <pulse/introspect.h>

namespace {

struct Query {
    const PulseConnection* connection;
    AudioServerState state;
};

QMap<QString, QString> readProperties(const pa_proplist* properties)
{
    QMap<QString, QString> map;
    void* state = nullptr;
    while (const char* key = pa_proplist_iterate(properties, &state)) {
        if (const char* value = pa_proplist_gets(properties, key))
            map.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    }
    return map;
}

} // namespace

std::optional<AudioServerState> PulseAudioCatalog::query(const PulseConnection& connection)
{
    Query query{&connection, {}};
    const bool serverRead = connection.wait(pa_context_get_server_info(
        connection.context(),
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* q = static_cast<Query*>(data);
            if (info) {
                q->state.defaultSource = QString::fromUtf8(info->default_source_name ? info->default_source_name : "");
                q->state.defaultSink = QString::fromUtf8(info->default_sink_name ? info->default_sink_name : "");
            }
            q->connection->signal();
        },
        &query));
    const bool sourcesRead = connection.wait(pa_context_get_source_info_list(
        connection.context(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* q = static_cast<Query*>(data);
            if (eol == 0 && info) {
                AudioDeviceInfo device;
                device.name = QString::fromUtf8(info->name);
                device.description = QString::fromUtf8(info->description ? info->description : info->name);
                device.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
                device.properties = readProperties(info->proplist);
                q->state.sources.push_back(device);
            }
            q->connection->signal();
        },
        &query));
    if (!serverRead || !sourcesRead)
        return std::nullopt;
    return query.state;
}

std::optional<AudioServerState> PulseAudioCatalog::query()
{
    auto connection = PulseConnection::open(Edition::appName(), "pulse.catalog");
    if (!connection)
        return std::nullopt;
    PulseConnection::Lock lock(*connection);
    return query(*connection);
}
