#pragma once

#include <QMap>
#include <QString>

#include <vector>

// A sound source as the sound server lists it. `name` is the unique, stable identifier; `properties` are the
// server's device properties ("device.bus", "device.form_factor", "device.api", ...).
struct AudioDeviceInfo {
    QString name;
    QString description;
    bool isMonitor = false;
    QMap<QString, QString> properties;
};

// The sources and the server's current defaults.
struct AudioServerState {
    std::vector<AudioDeviceInfo> sources;
    QString defaultSource;
    QString defaultSink;
};
