#include "platform/system/JsonSidecar.h"

#include "platform/system/AtomicFile.h"

#include <QJsonDocument>

namespace JsonSidecar {

namespace {

QByteArray encodedDocument(const QJsonDocument& document, Layout layout)
{
    return document.toJson(layout == Layout::indented ? QJsonDocument::Indented : QJsonDocument::Compact);
}

std::optional<QString> writeDocument(const QString& path, const QJsonDocument& document, const QString& purpose, Layout layout)
{
    return AtomicFile::write(path, encodedDocument(document, layout), purpose);
}

} // namespace

QByteArray encoded(const QJsonObject& json, Layout layout) { return encodedDocument(QJsonDocument(json), layout); }
QByteArray encoded(const QJsonArray& json, Layout layout) { return encodedDocument(QJsonDocument(json), layout); }

std::optional<QString> write(const QString& path, const QJsonObject& json, const QString& purpose, Layout layout)
{
    return writeDocument(path, QJsonDocument(json), purpose, layout);
}

std::optional<QString> write(const QString& path, const QJsonArray& json, const QString& purpose, Layout layout)
{
    return writeDocument(path, QJsonDocument(json), purpose, layout);
}

} // namespace JsonSidecar
