#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// Every JSON file the studio writes beside a take (sidecars, take descriptions, resume notes): serialised
// with sorted keys and swapped in whole through a hidden sibling named for `purpose`, so a reader never sees
// half a file and a failed write leaves the old one as it was.
namespace JsonSidecar {

enum class Layout { indented, compact };

// The bytes write() puts in the file.
QByteArray encoded(const QJsonObject& json, Layout layout = Layout::indented);
QByteArray encoded(const QJsonArray& json, Layout layout = Layout::indented);
// The error sentence on failure, nothing on success.
std::optional<QString> write(const QString& path, const QJsonObject& json, const QString& purpose, Layout layout = Layout::indented);
std::optional<QString> write(const QString& path, const QJsonArray& json, const QString& purpose, Layout layout = Layout::indented);

} // namespace JsonSidecar
